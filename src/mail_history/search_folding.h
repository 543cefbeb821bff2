#pragma once

#include <QString>
#include <QStringView>

// Text prepared for the history's search: full-width ASCII (Ａ, ｂ, １, ＠)
// and the ideographic space become their ASCII forms, half-width katakana
// (ｶﾞ) the full-width ones (ガ), and ASCII letters small. Other letters keep
// their case. The dashes, minus signs, wave dashes and the other signs that
// Shift_JIS and ISO-2022-JP give back as their look-alikes (－ as −, ～ as
// 〜, ￢ as ¬, ∥ as ‖, ￠ as ¢, ￡ as £) fold to one form.
namespace SearchFolding {

QString fold(QStringView text);

// Whether folded text holds the folded query (an empty query is in all).
inline bool matches(QStringView foldedText, QStringView foldedQuery) {
  return foldedText.contains(foldedQuery);
}

}  // namespace SearchFolding
