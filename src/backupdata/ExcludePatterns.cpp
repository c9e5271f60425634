#include "backupdata/ExcludePatterns.h"

#include "backupdata/ExcludeListFile.h"
#include "backupdata/SelectionListText.h"

#include <QBuffer>

#include <cctype>
#include <cstring>

namespace {

// NoMatch lets a "*" further out try a longer stretch; the two aborts cut the search
// short when no longer stretch can help (the text ran out, or a single "*" would have
// to cross a "/"), which keeps matching polynomial however many stars a line holds.
enum class Wild
{
    Match,
    NoMatch,
    AbortAll,
    AbortToDoubleStar
};

using Byte = unsigned char;

bool inNamedClass(QByteArrayView name, Byte c, bool* known)
{
    *known = true;
    if (name == "alnum")
        return std::isalnum(c);
    if (name == "alpha")
        return std::isalpha(c);
    if (name == "blank")
        return c == ' ' || c == '\t';
    if (name == "cntrl")
        return std::iscntrl(c);
    if (name == "digit")
        return std::isdigit(c);
    if (name == "graph")
        return std::isgraph(c);
    if (name == "lower")
        return std::islower(c);
    if (name == "print")
        return std::isprint(c);
    if (name == "punct")
        return std::ispunct(c);
    if (name == "space")
        return std::isspace(c);
    if (name == "upper")
        return std::isupper(c);
    if (name == "xdigit")
        return std::isxdigit(c);
    *known = false;
    return false;
}

// Matches one byte against the set that starts at *p (just after "["); leaves *p on
// the closing "]". Returns AbortAll for a set that never closes.
Wild matchSet(const Byte*& p, const Byte* end, Byte c)
{
    bool negated = false;
    if (p < end && (*p == '!' || *p == '^')) {
        negated = true;
        ++p;
    }
    bool matched = false;
    Byte previous = 0;
    for (bool first = true;; first = false, ++p) {
        if (p >= end)
            return Wild::AbortAll;
        Byte current = *p;
        if (current == ']' && !first)
            break;
        if (current == '\\') {
            if (++p >= end)
                return Wild::AbortAll;
            current = *p;
            matched |= c == current;
        } else if (current == '-' && previous != 0 && p + 1 < end && p[1] != ']') {
            Byte last = *++p;
            if (last == '\\') {
                if (++p >= end)
                    return Wild::AbortAll;
                last = *p;
            }
            matched |= c >= previous && c <= last;
            current = 0;
        } else if (current == '[' && p + 1 < end && p[1] == ':') {
            const Byte* nameStart = p + 2;
            const Byte* nameEnd = nameStart;
            while (nameEnd + 1 < end && !(nameEnd[0] == ':' && nameEnd[1] == ']'))
                ++nameEnd;
            if (nameEnd + 1 >= end)
                return Wild::AbortAll;
            bool known = false;
            matched |= inNamedClass(
                QByteArrayView(reinterpret_cast<const char*>(nameStart), nameEnd - nameStart), c,
                &known);
            if (!known)
                return Wild::AbortAll;
            p = nameEnd + 1;
            current = 0;
        } else {
            matched |= c == current;
        }
        previous = current;
    }
    return matched != negated ? Wild::Match : Wild::NoMatch;
}

Wild wild(const Byte* globStart, const Byte* p, const Byte* pEnd, const Byte* t, const Byte* tEnd)
{
    for (; p < pEnd; ++p, ++t) {
        if (t >= tEnd && *p != '*')
            return Wild::AbortAll;
        switch (*p) {
        case '\\':
            // A trailing "\" escapes nothing and matches nothing.
            if (++p >= pEnd || *t != *p)
                return Wild::NoMatch;
            break;
        case '?':
            if (*t == '/')
                return Wild::NoMatch;
            break;
        case '[': {
            if (*t == '/')
                return Wild::NoMatch;
            const Wild set = matchSet(++p, pEnd, *t);
            if (set != Wild::Match)
                return set;
            break;
        }
        case '*': {
            const Byte* firstStar = p;
            while (p + 1 < pEnd && p[1] == '*')
                ++p;
            bool crossesFolders = false;
            // "**" stands for any folders only as a whole component; elsewhere it is "*".
            if (p != firstStar && (firstStar == globStart || firstStar[-1] == '/') &&
                (p + 1 == pEnd || p[1] == '/')) {
                crossesFolders = true;
                // "**/" also matches no folder at all.
                if (p + 1 < pEnd && wild(globStart, p + 2, pEnd, t, tEnd) == Wild::Match)
                    return Wild::Match;
            }
            ++p;
            if (p == pEnd) {
                if (!crossesFolders && std::memchr(t, '/', tEnd - t) != nullptr)
                    return Wild::AbortToDoubleStar;
                return Wild::Match;
            }
            for (; t < tEnd; ++t) {
                const Wild rest = wild(globStart, p, pEnd, t, tEnd);
                if (rest != Wild::NoMatch && !(crossesFolders && rest == Wild::AbortToDoubleStar))
                    return rest;
                if (!crossesFolders && *t == '/')
                    return Wild::AbortToDoubleStar;
            }
            return Wild::AbortAll;
        }
        default:
            if (*t != *p)
                return Wild::NoMatch;
            break;
        }
    }
    return t == tEnd ? Wild::Match : Wild::NoMatch;
}

bool hasWildcard(QByteArrayView glob)
{
    for (const char c : glob) {
        if (c == '*' || c == '?' || c == '[' || c == '\\')
            return true;
    }
    return false;
}

// Drops trailing spaces, except one escaped with "\" (an odd run of "\" before it).
void dropTrailingSpaces(QByteArray& line)
{
    while (line.endsWith(' ')) {
        qsizetype backslashes = 0;
        for (qsizetype i = line.size() - 2; i >= 0 && line.at(i) == '\\'; --i)
            ++backslashes;
        if (backslashes % 2 == 1)
            return;
        line.chop(1);
    }
}

QByteArrayView lastName(QByteArrayView path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.sliced(slash + 1);
}

} // namespace

bool wildMatch(QByteArrayView glob, QByteArrayView text)
{
    const auto* globStart = reinterpret_cast<const Byte*>(glob.data());
    const auto* textStart = reinterpret_cast<const Byte*>(text.data());
    return wild(globStart, globStart, globStart + glob.size(), textStart,
                textStart + text.size()) == Wild::Match;
}

ExcludePatterns ExcludePatterns::parse(const QByteArray& text)
{
    ExcludePatterns patterns;
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    SelectionListTextReader reader(buffer);
    QByteArray line;
    while (reader.readLineBytes(&line)) {
        if (line.startsWith('#'))
            continue;
        dropTrailingSpaces(line);
        Pattern pattern;
        pattern.line = reader.lineNumber();
        pattern.text = decodeListLine(line);
        QByteArrayView glob = line;
        if (glob.startsWith('!')) {
            pattern.negated = true;
            glob = glob.sliced(1);
        }
        if (glob.endsWith('/')) {
            pattern.foldersOnly = true;
            glob.chop(1);
        }
        pattern.anchored = glob.contains('/');
        if (glob.startsWith('/'))
            glob = glob.sliced(1);
        if (glob.isEmpty())
            continue;
        pattern.glob = glob.toByteArray();
        if (!hasWildcard(glob)) {
            pattern.kind = Kind::Literal;
            pattern.literal = pattern.glob;
        } else if (!pattern.anchored && glob.size() > 1 && glob.front() == '*' &&
                   !hasWildcard(glob.sliced(1))) {
            pattern.kind = Kind::Suffix;
            pattern.literal = glob.sliced(1).toByteArray();
        }
        patterns.m_patterns.append(std::move(pattern));
    }
    return patterns;
}

ExcludePatterns ExcludePatterns::read(const QString& path)
{
    return parse(ExcludeListFile::readText(path));
}

bool ExcludePatterns::patternMatches(const Pattern& pattern, QByteArrayView path,
                                     QByteArrayView name, bool isFolder)
{
    if (pattern.foldersOnly && !isFolder)
        return false;
    const QByteArrayView subject = pattern.anchored ? path : name;
    switch (pattern.kind) {
    case Kind::Literal:
        return subject == pattern.literal;
    case Kind::Suffix:
        return subject.endsWith(pattern.literal);
    case Kind::General:
        break;
    }
    return wildMatch(pattern.glob, subject);
}

ExclusionMatch ExcludePatterns::match(const QByteArray& relativePath, bool isFolder) const
{
    const QByteArrayView name = lastName(relativePath);
    for (auto pattern = m_patterns.crbegin(); pattern != m_patterns.crend(); ++pattern) {
        if (patternMatches(*pattern, relativePath, name, isFolder))
            return {!pattern->negated, pattern->line, pattern->text};
    }
    return {};
}

ExclusionMatch ExcludePatterns::matchWithAncestors(const QByteArray& relativePath,
                                                   bool isFolder) const
{
    if (m_patterns.isEmpty())
        return {};
    for (qsizetype slash = relativePath.indexOf('/'); slash > 0;
         slash = relativePath.indexOf('/', slash + 1)) {
        ExclusionMatch folder = match(relativePath.left(slash), true);
        if (folder.leftOut)
            return folder;
    }
    return match(relativePath, isFolder);
}
