#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes, and not every one is UTF-8. A name is carried as a QString in which
// each byte that is not part of valid UTF-8 stands as the lone surrogate U+DC80 + (byte - 0x80),
// which no valid UTF-8 decodes to, so that the bytes come back exactly as given.
QString NameFromBytes(const QByteArray& bytes);
QByteArray BytesFromName(const QString& name);

// A JSON string that keeps every name apart: a byte that is not UTF-8 is written as the escape
// of its stand-in, "\udcXX".
QByteArray JsonString(const QString& text);

// Text for a terminal: control characters and bytes that are not UTF-8 are written as \xXX (or
// \u00XX for the C1 controls), so that no name can move the cursor or start a line of its own.
QByteArray TerminalText(const QString& text);

// Text for an HTML page, shown as TerminalText shows it, with the characters HTML gives a meaning
// to written as references, so that it is safe between tags and in a quoted attribute.
QByteArray HtmlText(const QString& text);
