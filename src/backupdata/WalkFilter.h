#pragma once

#include "backupdata/ExcludePatterns.h"

#include <QByteArray>
#include <QString>

// What the walk leaves out: the user's exclusion patterns, folders tagged as caches
// (CACHEDIR.TAG) and files above a size. A default filter leaves nothing out. Each
// answer is the reason an entry is left out, as the user is shown it, or an empty
// text when the entry is kept.
//
// Relative paths are the bytes of the path below the selected folder (QFile's
// encoding); a file picked on its own is matched by its name. A selected folder itself
// is never left out: the user chose it by hand.
class WalkFilter
{
public:
    WalkFilter() = default;
    // patternsFile names the patterns in reasons ("Exclude.Txt line 3: *.tmp").
    WalkFilter(ExcludePatterns patterns, const QString& patternsFile, bool excludeCacheFolders,
               qint64 maxFileBytes);
    // The user's: the patterns file and the two settings. Read it before the sequence
    // makes its missing lists, so that a new profile is told from an existing one.
    // Throws KestrelError when the patterns file cannot be read.
    static WalkFilter fromSettings();

    bool leavesNothingOut() const
    {
        return m_patterns.isEmpty() && !m_excludeCacheFolders && m_maxFileBytes <= 0;
    }
    bool hasPatterns() const { return !m_patterns.isEmpty(); }
    bool limitsSize() const { return m_maxFileBytes > 0; }

    // A sub-folder found by the walk below a selected folder.
    QString folderLeftOut(const QString& folderPath, const QByteArray& relativePath) const;
    // A file by its name or path alone, before its size is known.
    QString fileNameLeftOut(const QByteArray& relativePath) const;
    // A file by its size.
    QString fileSizeLeftOut(qint64 size) const;

private:
    QString patternReason(const ExclusionMatch& match) const;

    ExcludePatterns m_patterns;
    QString m_patternsFileName;
    bool m_excludeCacheFolders = false;
    qint64 m_maxFileBytes = 0;
};

// The path below a selected folder as WalkFilter wants it: path lies in root.
QByteArray relativeWalkPath(const QString& root, const QString& path);
