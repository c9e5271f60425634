#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

// The text rules shared by the two selection lists and the backup log: one entry per
// line, CR LF written, CR LF or LF read, no header, no escaping.
//
// Encoding: lines are written as UTF-8. A line read back is decoded as UTF-8 when it
// is valid UTF-8, otherwise byte for byte as Latin-1. The fallback keeps every byte
// of such a line as one character (nothing is dropped or merged into a replacement
// character) and shows lists carried over from an 8-bit Western code page with their
// accented letters intact. A name that is not valid UTF-8 on disk cannot be opened
// through QString either way; it is listed, reported as missing by the sequence, and
// the rest of the list is unaffected.

// Reads lines as the list and log readers do: before each line, blanks and control
// characters (every byte of code 32 or less, line breaks included) are skipped, so
// empty lines vanish and indentation is dropped; a line ends at LF, and a CR before the
// LF is removed; a Ctrl-Z byte ends the text, wherever it stands (the lists), or only
// the line it stands in (the backup log: records are appended after it, and none that
// the program wrote may become invisible).
class SelectionListTextReader
{
public:
    enum class CtrlZ
    {
        EndsText,
        EndsLine
    };

    explicit SelectionListTextReader(QIODevice& device, CtrlZ ctrlZ = CtrlZ::EndsText);

    // The next line, decoded. Returns false at the end of the text. Throws KestrelError
    // with the device's error text when reading fails.
    bool readLine(QString* line);
    // The next line as the bytes the file holds, for readers that match bytes.
    bool readLineBytes(QByteArray* line);
    // The 1-based line number in the file of the line last returned.
    int lineNumber() const { return m_lineNumber; }

private:
    bool fill();

    QIODevice& m_device;
    const CtrlZ m_ctrlZ;
    QByteArray m_buffer;
    // The bytes of the current line, kept to reuse their allocation.
    QByteArray m_lineBytes;
    qsizetype m_position = 0;
    int m_nextLineNumber = 1;
    int m_lineNumber = 0;
    bool m_ended = false;
};

QString decodeListLine(QByteArrayView bytes);
QByteArray encodeListLine(const QString& line);

// A list entry ends at a line break and the text at a Ctrl-Z, so a name holding
// either cannot be kept in a list or in the log: it would come back as other names.
bool isListableName(const QString& name);
// What the user is told when such a name is refused.
QString unlistableNameMessage(const QString& name);

// Ascending order of names and paths: without regard to case, with an exact
// tie-break, so `Docs` and `docs` both stay and always come in the same order.
bool listTextLess(const QString& left, const QString& right);
