// The logic's texts are 8-bit Latin-1 strings; the widgets hold QStrings.
#pragma once

#include <QString>
#include <string>

inline QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toLatin1(const QString& text) {
    return text.toLatin1().toStdString();
}
