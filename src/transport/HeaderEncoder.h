#pragma once

#include <QLocale>
#include <QString>

// Writes header text that is not plain printable ASCII as RFC 2047 encoded words.
// The charset follows the language of the user's locale (GB2312 or Big5 for
// Chinese, ISO-2022-JP for Japanese, EUC-KR for Korean, ISO-8859-1 otherwise); text
// that charset cannot hold is written in UTF-8 instead, so no character is lost.
// Line breaks and other control characters always end up encoded, never raw.
class THeaderEncoder
{
public:
    explicit THeaderEncoder(const QLocale& locale = QLocale::system());

    QString charset() const { return m_charset; }

    // The text as it is when it is printable 7-bit, otherwise (or when `always` is
    // set) encoded words of at most 75 characters each (RFC 2047 section 2),
    // separated by single spaces.
    QString encode(const QString& text, bool always = false) const;

    static bool isPrintableAscii(const QString& text);

    static constexpr int MaxEncodedWordLength = 75;

private:
    QString m_charset;
    bool m_quotedPrintable = false;
};
