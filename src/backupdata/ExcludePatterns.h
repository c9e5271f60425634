#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Which line of the exclusion patterns decided about an entry. leftOut with line 0:
// nothing matched, the entry is kept. A negated line that matched last keeps the entry
// and is named here all the same, so a listing can tell why a file is in.
struct ExclusionMatch
{
    bool leftOut = false;
    // 1-based line number in the patterns' text; 0 when no line matched.
    int line = 0;
    // The line as written, without its trailing blanks.
    QString pattern;
};

// The user's exclusion patterns (Exclude.Txt), one per line, with the rules of
// .gitignore files:
//
// - "*" and "?" match within one name, "[...]" a set of bytes ("!" or "^" negates it,
//   "a-z" ranges); "**/" at the start, "/**" at the end and "/**/" in the middle match
//   any number of folders; "\" takes the next byte literally.
// - A "/" at the start or in the middle anchors the pattern at the selected folder;
//   without one it matches a name at any depth. A trailing "/" matches folders only.
// - "!" negates: the last matching line decides, but nothing below a left-out folder
//   can be taken back (the walk never enters it).
// - Lines beginning with "#" are comments ("\#" and "\!" escape the first byte);
//   trailing spaces are dropped unless escaped with "\"; blank lines are skipped, and so
//   are the blanks before a line, as in the selection lists.
//
// Matching is byte for byte and case-sensitive, so names that are not UTF-8 match too.
class ExcludePatterns
{
public:
    static ExcludePatterns parse(const QByteArray& text);
    // A missing file: no patterns. Throws KestrelError when the file exists but cannot
    // be read.
    static ExcludePatterns read(const QString& path);

    bool isEmpty() const { return m_patterns.isEmpty(); }
    qsizetype size() const { return m_patterns.size(); }

    // relativePath: '/'-separated bytes below the selected folder (a file picked on its
    // own: its name). Decides for this entry alone.
    ExclusionMatch match(const QByteArray& relativePath, bool isFolder) const;
    // As match, but a left-out folder above the entry leaves it out whatever its own
    // lines say.
    ExclusionMatch matchWithAncestors(const QByteArray& relativePath, bool isFolder) const;

private:
    enum class Kind
    {
        // No wildcard: the name or path compares equal.
        Literal,
        // "*" followed by a literal tail: the name ends with it.
        Suffix,
        General
    };
    struct Pattern
    {
        // The glob with the "!", the leading and the trailing "/" removed.
        QByteArray glob;
        // For Literal and Suffix: the bytes to compare, unescaped.
        QByteArray literal;
        Kind kind = Kind::General;
        bool negated = false;
        // Matched against the whole relative path rather than the last name.
        bool anchored = false;
        bool foldersOnly = false;
        int line = 0;
        QString text;
    };

    static bool patternMatches(const Pattern& pattern, QByteArrayView path, QByteArrayView name,
                               bool isFolder);

    QList<Pattern> m_patterns;
};

// Whether a byte string matches a glob with the rules above ("*" stops at "/", "**"
// as a whole path component crosses folders).
bool wildMatch(QByteArrayView glob, QByteArrayView text);
