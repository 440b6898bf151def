#include "AnsiText.h"

#include <QStringDecoder>
#include <iconv.h>

QString AnsiToUnicodeWithIconv(const std::string& bytes)
{
    iconv_t cd = iconv_open("UTF-8", "BIG5");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1))
            break;
        // An invalid byte shows as a replacement character rather than ending the text.
        ++in;
        --inLeft;
        if (outLeft < 3)
            break;
        *outPtr++ = char(0xEF);
        *outPtr++ = char(0xBF);
        *outPtr++ = char(0xBD);
        outLeft -= 3;
    }
    iconv_close(cd);
    return QString::fromUtf8(out.data(), qsizetype(out.size() - outLeft));
}

QString AnsiToUnicode(const std::string& bytes)
{
    QStringDecoder decoder("Big5");
    if (!decoder.isValid())
        return AnsiToUnicodeWithIconv(bytes);
    return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}
