#include "Js8Text.h"

namespace js8 {

bool carries(char32_t c)
{
    static const std::u32string punctuation = U" .-+?!\"/";
    return (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') || punctuation.find(c) != std::u32string::npos;
}

namespace {

// Cuts word from the front of text when it stands there as a word of its own.
bool cutWord(QString& text, const QString& word)
{
    if (word.isEmpty() || !text.startsWith(word, Qt::CaseInsensitive))
        return false;
    if (text.size() > word.size() && !text.at(word.size()).isSpace())
        return false;
    text = text.mid(word.size()).trimmed();
    return true;
}

} // namespace

QString messageBody(const Js8Client::Directed& message)
{
    QString text = message.text.trimmed();
    if (text.startsWith(message.from + u':', Qt::CaseInsensitive)) {
        text = text.mid(message.from.size() + 1).trimmed();
        cutWord(text, message.to);
    }
    while (text.endsWith(endOfMessage))
        text = text.chopped(1).trimmed();
    return text;
}

bool sameCall(const QString& a, const QString& b)
{
    return !a.isEmpty() && a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace js8
