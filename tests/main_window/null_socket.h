#pragma once

#include "socket_control.h"

// A socket that never connects: the window's tests do not send.
class NullSocket : public SocketControl {
 public:
  void Connect(const QString&, std::uint16_t) override { ++connects; }
  void Close() override {}
  int State() const override { return 0; }
  void SendData(const QString&) override {}
  void GetData(QString& data) override { data.clear(); }

  int connects = 0;
};
