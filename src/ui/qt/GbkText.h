#pragma once

#include "rules/CodePage.h"

#include <QString>
#include <string>

namespace tarnwick {

// The windows show the core's GBK texts and hand typed text back as GBK, through the core's
// own conversion so that both sides agree byte for byte.
inline QString FromGbk(const std::string& gbk) {
    if (gbk.empty())
        return QString();
    return QString::fromStdString(Utf8FromGbk(gbk));
}

inline std::string ToGbk(const QString& text) {
    return GbkFromUtf8(text.toStdString());
}

} // namespace tarnwick
