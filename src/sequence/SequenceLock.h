#pragma once

#include <QLockFile>
#include <QString>

// Lets one backup sequence of an edition run at a time, across processes too: the
// window program and a headless run take the same lock file in the edition's program
// folder. A lock left behind by a process that died is taken over.
class SequenceLock
{
public:
    SequenceLock();
    SequenceLock(const SequenceLock&) = delete;
    SequenceLock& operator=(const SequenceLock&) = delete;

    // False when another sequence holds the lock or the lock file cannot be made.
    bool tryLock();
    // Why tryLock failed, as a status line.
    QString problem() const;

    static QString path();

private:
    QLockFile m_file;
};
