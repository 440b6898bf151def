#include "NameEscaping.h"

#include <cstdint>

namespace {

constexpr char32_t escapeBase = 0xDC00;

bool isContinuation(std::uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `at`, or 0 when the byte there starts none.
int validSequence(const QByteArray& bytes, qsizetype at, char32_t* code)
{
    const auto byte = [&](qsizetype i) { return std::uint8_t(bytes[at + i]); };
    const std::uint8_t lead = byte(0);
    const int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
        : lead >= 0xE0 && lead < 0xF0                                ? 3
        : lead >= 0xF0 && lead < 0xF5                                ? 4
                                                                     : 0;
    if (length == 0 || at + length > bytes.size())
        return 0;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(byte(i)))
            return 0;
        value = value << 6 | (byte(i) & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
        return 0;
    *code = value;
    return length;
}

bool isEscapedByte(char32_t code)
{
    return code >= escapeBase + 0x80 && code <= escapeBase + 0xFF;
}

template <typename Visit>
void forEachCodePoint(const QString& text, Visit visit)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        visit(code);
    }
}

void append(QString& text, char32_t code)
{
    if (QChar::requiresSurrogates(code)) {
        text += QChar(QChar::highSurrogate(code));
        text += QChar(QChar::lowSurrogate(code));
    } else {
        text += QChar(char16_t(code));
    }
}

QByteArray utf8(char32_t code)
{
    QString text;
    append(text, code);
    return text.toUtf8();
}

QByteArray hexEscape(const char* prefix, unsigned value)
{
    return prefix + QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
}

}

QString NameFromBytes(const QByteArray& bytes)
{
    QString name;
    for (qsizetype at = 0; at < bytes.size();) {
        char32_t code = 0;
        const int length = validSequence(bytes, at, &code);
        if (length == 0)
            code = escapeBase + std::uint8_t(bytes[at]);
        append(name, code);
        at += length ? length : 1;
    }
    return name;
}

QByteArray BytesFromName(const QString& name)
{
    QByteArray bytes;
    forEachCodePoint(name, [&](char32_t code) {
        bytes += isEscapedByte(code) ? QByteArray(1, char(code - escapeBase)) : utf8(code);
    });
    return bytes;
}

QByteArray JsonString(const QString& text)
{
    QByteArray quoted = "\"";
    forEachCodePoint(text, [&](char32_t code) {
        if (code == '"' || code == '\\')
            quoted += QByteArray("\\") + char(code);
        else if (code < 0x20)
            quoted += hexEscape("\\u00", code);
        else if (isEscapedByte(code))
            quoted += hexEscape("\\udc", code - escapeBase).toLower();
        else
            quoted += utf8(code);
    });
    return quoted + "\"";
}

QByteArray TerminalText(const QString& text)
{
    QByteArray shown;
    forEachCodePoint(text, [&](char32_t code) {
        if (code < 0x20 || code == 0x7F)
            shown += hexEscape("\\x", code);
        else if (code >= 0x80 && code < 0xA0)
            shown += hexEscape("\\u00", code);
        else if (isEscapedByte(code))
            shown += hexEscape("\\x", code - escapeBase);
        else
            shown += utf8(code);
    });
    return shown;
}

QByteArray HtmlText(const QString& text)
{
    QByteArray shown;
    for (char c : TerminalText(text)) {
        switch (c) {
        case '&': shown += "&amp;"; break;
        case '<': shown += "&lt;"; break;
        case '>': shown += "&gt;"; break;
        case '"': shown += "&quot;"; break;
        case '\'': shown += "&#39;"; break;
        default: shown += c;
        }
    }
    return shown;
}
