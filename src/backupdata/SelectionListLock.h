#pragma once

#include <QString>

// An exclusive lock on one selection list, held for the life of the object. Every
// process that reads a list to change it (the window rewriting it from its tree, the
// file-manager helper appending to it) takes this lock first, so an append is never
// lost under a rewrite and two helpers never both add the same path.
//
// The lock is an advisory flock on "<list file>.lock" beside the list, not on the list
// itself: the window replaces the list file by renaming a new one over it, and a lock
// on the old file would not hold anyone off the new one.
class SelectionListLock
{
public:
    // Waits until the lock is free. Throws KestrelError with the list's path when the
    // lock file cannot be opened or locked.
    explicit SelectionListLock(const QString& listPath);
    ~SelectionListLock();
    SelectionListLock(const SelectionListLock&) = delete;
    SelectionListLock& operator=(const SelectionListLock&) = delete;

private:
    int m_descriptor = -1;
};
