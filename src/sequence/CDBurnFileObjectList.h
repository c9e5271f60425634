#pragma once

#include "backupdata/TernFileObject.h"

#include <QList>
#include <QStringList>

class SequenceStatusView;
class TCDBurner;

// The files staged for the current burn, each a copy of the file object as it was
// when its file was staged.
class TCDBurnFileObjectList
{
public:
    void Add(const TTernFileObject& file) { m_files.append(file); }
    qsizetype Count() const { return m_files.size(); }
    void Clear() { m_files.clear(); }
    const QList<TTernFileObject>& files() const { return m_files; }

    // Lists the disc and, for every entry, says whether it is there; the record
    // lines of those that are go to pendingLogLines. False when one is missing or
    // the list is empty.
    bool VerifyBurn(QStringList& pendingLogLines, const TCDBurner& burner,
                    SequenceStatusView& status) const;
    // Without a look at the disc: a staged copy the burn took away counts as burnt;
    // one still there is deleted and makes the result false. False for an empty list.
    bool CheckStagingEmptied(QStringList& pendingLogLines) const;

private:
    QList<TTernFileObject> m_files;
};
