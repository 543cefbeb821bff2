// GLib names a member "signals", which Qt defines as a word: GMime first.
#include <gmime/gmime.h>

#include "sent_mail_reader.h"

#include "cp932.h"

#include <QFile>

#include <memory>

namespace SentMailReader {
namespace {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};

// The parser's options, made once: header bytes that are not ASCII are
// read as the program wrote them, in its code page (CP932).
GMimeParserOptions* parserOptions() {
  static GMimeParserOptions* options = [] {
    g_mime_init();
    GMimeParserOptions* made = g_mime_parser_options_new();
    const char* charsets[] = {"cp932", nullptr};
    g_mime_parser_options_set_fallback_charsets(made, charsets);
    return made;
  }();
  return options;
}

QByteArray readBytes(const QString& path, qint64 most) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.read(most);
}

// The header block at the beginning of the bytes, its closing empty line
// included; all of them when there is no empty line.
QByteArray headerBlock(const QByteArray& bytes) {
  qsizetype end = bytes.indexOf("\n\r\n");
  const qsizetype lfEnd = bytes.indexOf("\n\n");
  if (end < 0 || (lfEnd >= 0 && lfEnd < end)) return lfEnd < 0 ? bytes : bytes.left(lfEnd + 2);
  return bytes.left(end + 3);
}

// The log follows every mail with one CR LF that is not the mail's.
QByteArray withoutLogSeparator(QByteArray bytes) {
  if (bytes.endsWith("\r\n")) bytes.chop(2);
  return bytes;
}

QString lineBreaksAsTyped(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

GMimeHeader* header(GMimeObject* object, const char* name) {
  return g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
}

// A header of the program's own lines ("TO:" and the address, "SUBJECT:"
// and the subject in CP932): the bytes after the colon exactly, so that
// blanks the user typed stay.
QString rawValue(GMimeObject* object, const char* name) {
  GMimeHeader* found = header(object, name);
  if (found == nullptr) return {};
  QByteArray value = g_mime_header_get_raw_value(found);
  while (value.endsWith('\n') || value.endsWith('\r')) value.chop(1);
  value.replace("\r\n", "");  // a folded line goes on where it broke
  value.replace("\n", "");
  return Cp932::toUnicode(value);
}

// As GMime decodes it (encoded words of any character set).
QString decodedValue(GMimeObject* object, const char* name) {
  GMimeHeader* found = header(object, name);
  if (found == nullptr) return {};
  return QString::fromUtf8(g_mime_header_get_value(found));
}

QDateTime dateOf(GMimeMessage* message) {
  GDateTime* date = g_mime_message_get_date(message);
  if (date == nullptr) return {};
  return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date), Qt::OffsetFromUTC,
                                       int(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND));
}

// The body's text: the transfer encoding undone, then the declared
// character set, or CP932 (the program's code page) when none is declared.
QString bodyOf(GMimeMessage* message) {
  GMimeObject* part = g_mime_message_get_body(message);
  if (part == nullptr || !GMIME_IS_TEXT_PART(part)) return {};
  GMimeTextPart* text = GMIME_TEXT_PART(part);
  if (g_mime_text_part_get_charset(text) != nullptr) {
    std::unique_ptr<char, GFree> utf8(g_mime_text_part_get_text(text));
    if (utf8) return QString::fromUtf8(utf8.get());
  }
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
  if (content == nullptr) return {};
  GPtr<GMimeStream> decoded(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, decoded.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
  return Cp932::toUnicode(QByteArrayView(bytes->data, bytes->len));
}

SentMail parse(const QByteArray& bytes, bool withBody) {
  SentMail mail;
  if (bytes.isEmpty()) return mail;
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size())));
  GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), parserOptions()));
  if (!message) return mail;
  GMimeObject* object = GMIME_OBJECT(message.get());
  // Every mail the program writes begins with these header lines; a file
  // without any of them is no mail.
  if (header(object, "Date") == nullptr && header(object, "From") == nullptr && header(object, "To") == nullptr &&
      header(object, "Subject") == nullptr)
    return mail;

  mail.isMail = true;
  mail.date = dateOf(message.get());
  mail.to = rawValue(object, "To").trimmed();
  mail.from = rawValue(object, "From").trimmed();
  // Without MIME the subject is the program's raw line; with MIME it is
  // encoded words behind one blank.
  const bool mime = header(object, "MIME-Version") != nullptr;
  mail.subject = mime ? decodedValue(object, "Subject") : rawValue(object, "Subject");
  if (withBody) mail.body = lineBreaksAsTyped(bodyOf(message.get()));
  return mail;
}

}  // namespace

SentMail parseHeaders(const QByteArray& fileBytes) { return parse(headerBlock(fileBytes), false); }

SentMail parseMail(const QByteArray& fileBytes) { return parse(withoutLogSeparator(fileBytes), true); }

SentMail readHeaders(const QString& path) {
  // The header block of a log file is a few hundred bytes.
  constexpr qint64 kHeaderBytes = 64 * 1024;
  return parseHeaders(readBytes(path, kHeaderBytes));
}

SentMail readMail(const QString& path) { return parseMail(readBytes(path, kMaxFileBytes)); }

}  // namespace SentMailReader
