#pragma once

#include <QString>

#include <string>

namespace tarnwick {

// The windows show the core's GBK texts and hand typed text back as GBK, through the core's
// own conversion so that both sides agree byte for byte.
//
// The round trip is lossless: a byte that is not part of a valid GBK character is shown as
// the lone surrogate U+DC00 + byte (which no typed text holds) and turned back into that
// byte, so a cell the user edits keeps the bytes they did not touch.
QString FromGbk(const std::string& gbk);
// A character that GBK cannot hold becomes "?", as the ANSI interfaces do.
std::string ToGbk(const QString& text);

} // namespace tarnwick
