#pragma once

// Lets failures show QStrings and QByteArrays as text, with control characters made visible, and table cases by
// their names.

#include <QByteArray>
#include <QString>

#include <ostream>
#include <string>

#include <gtest/gtest.h>

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\r': *os << "\\r"; break;
        case '\n': *os << "\\n"; break;
        case '"': *os << "\\\""; break;
        case '\\': *os << "\\\\"; break;
        default:
            if (u < 0x20 || u == 0x7f) {
                static const char hex[] = "0123456789ABCDEF";
                *os << "\\x" << hex[u >> 4] << hex[u & 0xf];
            } else {
                *os << c;
            }
        }
    }
    *os << '"';
}

inline void PrintTo(const QString& text, std::ostream* os)
{
    PrintTo(text.toUtf8(), os);
}

inline std::ostream& operator<<(std::ostream& os, const QString& text)
{
    PrintTo(text, &os);
    return os;
}

/// Names each case of a parameterised test after its table row's name field.
struct CaseName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const
    {
        return std::string(info.param.name);
    }
};
