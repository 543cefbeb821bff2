#pragma once

#include "socket_control.h"

// A socket that only counts: the window's tests do not send.
class NullSocket : public SocketControl {
 public:
  void Connect(const QString&, std::uint16_t) override {
    ++connects;
    state = 6;  // connecting
  }
  void Close() override {
    ++closes;
    state = 0;
  }
  int State() const override { return state; }
  void SendData(const QString&) override {}
  void GetData(QString& data) override { data.clear(); }

  int connects = 0;
  int closes = 0;
  int state = 0;
};
