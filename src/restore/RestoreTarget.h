#pragma once

#include <QString>

// The folder a restore writes into, and the one way paths below it are made: every
// folder on the way is created or, where it exists, followed only when it stays
// inside the target, so no saved path and no link in the target can lead a file
// outside it.
class RestoreTarget
{
public:
    // Creates the folder when missing. Throws KestrelError when it cannot be made.
    explicit RestoreTarget(const QString& folder);

    const QString& folder() const { return m_canonical; }

    // The final path below the target for a path relative to it, with its folders
    // made. Throws KestrelError when the path holds "..", ".", an empty or a NUL
    // component, or leads outside the target.
    QString prepare(const QString& relativePath) const;

private:
    bool inside(const QString& canonicalPath) const;

    QString m_canonical;
};
