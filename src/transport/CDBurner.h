#pragma once

#include "transport/DiscWriter.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

// The disc burner: the files staged below BurnArea are written to the burner named
// by the setting CDBurnerDevice (an optical drive xorriso reports, or an image file
// "stdio:<path>") as one appended session with MD5 sums. The burn runs on its own
// thread; its end is raised as OnBurnDone on the thread that made the burner.
class TCDBurner : public QObject
{
    Q_OBJECT
public:
    // Settles Equipped, BurnerDrive and LastError from the setting CDBurnerDevice.
    explicit TCDBurner(std::shared_ptr<DiscWriter> writer = {}, QObject* parent = nullptr);
    ~TCDBurner() override;

    bool IsBurning() const { return m_burning; }
    bool Equipped() const { return m_equipped; }
    const QString& LastError() const { return m_lastError; }
    // The burner device; empty when not equipped.
    const QString& BurnerDrive() const { return m_drive; }
    // LastError when the setting names no burner that can be written to.
    static const QString NoBurnerFound;

    // "<KestrelCD program folder>/Burn Area/", always ending with "/".
    static QString BurnArea();
    // Total bytes of the files below BurnArea.
    qint64 BurnSize() const;

    // Empties the burn area; false (with LastError) while burning or when something
    // could not be deleted.
    bool ClearFiles();
    // Starts the burn; OnBurnDone(0) when it has ended, OnBurnDone(-1) at once when
    // the burner is busy or not equipped. A completed burn empties the burn area.
    void StartBurn();
    // Closes the tray of a real drive; nothing for an image file.
    void CloseCD();
    // The burner is a real drive, with a tray that closes.
    bool HasTray() const { return m_equipped && !isImageFile(); }

    // The disc's files (paths from its root, with a leading "/") and their sizes.
    QHash<QString, qint64> DiscFiles() const;
    // Checks the MD5 sums of every file on the disc.
    bool CheckDiscMd5() const;
    // Whether the last burn's program reported success.
    bool LastBurnSucceeded() const { return m_lastBurnOk; }

    DiscWriter& writer() const { return *m_writer; }

Q_SIGNALS:
    void OnBurnDone(int iResult);

private:
    bool isImageFile() const;
    void burnFinished(bool ok, const QString& output);

    std::shared_ptr<DiscWriter> m_writer;
    bool m_burning = false;
    bool m_equipped = false;
    bool m_lastBurnOk = false;
    QString m_lastError;
    QString m_drive;
};
