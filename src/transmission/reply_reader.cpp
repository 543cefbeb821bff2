#include "reply_reader.h"

#include "cp932.h"

#include <utility>

QString ReplyReader::take() { return Cp932::toUnicode(std::exchange(pending_, QByteArray())); }

bool ReplyReader::endsWithWholeReply(QByteArrayView data) {
  if (data.isEmpty() || data.back() != '\n') return false;
  const QByteArrayView lines = data.first(data.size() - 1);
  const QByteArrayView last = lines.sliced(lines.lastIndexOf('\n') + 1);
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const bool continues = last.size() >= 4 && digit(last[0]) && digit(last[1]) && digit(last[2]) && last[3] == '-';
  return !continues;
}
