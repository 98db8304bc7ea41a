#pragma once

#include <QString>

#include <string_view>

// The tables hold their texts as string views over UTF-8 literals.
inline QString qstring(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

inline QLatin1StringView latin1(std::string_view ascii)
{
    return QLatin1StringView(ascii.data(), qsizetype(ascii.size()));
}
