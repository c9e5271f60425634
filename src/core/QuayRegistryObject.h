#pragma once

#include <QString>

// The settings store: a stateless, typed front on the edition's key in the settings
// database. Each call performs exactly one value operation (a read whose default is
// written back performs a second); nothing is cached, so any number of stores may be
// created and released, and another process's writes are seen on the next read.
//
// Every value of the store is declared once, in the tables below: name, type and
// default. Values with a rule of their own are declared by hand after the tables.
// Reads never fail: a missing value, or one of the wrong type or length, reads as
// its default. A write that cannot be stored throws SettingsError naming the value.

// name, default. SequenceStoppedByUser: the user stopped the last sequence, so the
// summary tells that instead of a failure. ScheduledBackUp: the user asked for the
// desktop's timer to run sequences on the BackUpScheduleChoice schedule.
#define KESTREL_BOOLEAN_SETTINGS(X)                                                                \
    X(CloseTray, false)                                                                            \
    X(CloseApplicationAfterSequence, false)                                                        \
    X(DLLRegistered, false)                                                                        \
    X(FolderListHasChanged, false)                                                                 \
    X(FileListHasChanged, false)                                                                   \
    X(StartUpAutoRun, false)                                                                       \
    X(WizzardRun, false)                                                                           \
    X(LoadLogTree, false)                                                                          \
    X(OverWriteFiles, false)                                                                       \
    X(BackUpSubFolders, false)                                                                     \
    X(StartMinimised, false)                                                                       \
    X(RunSequenceOnWindowsShutDown, false)                                                         \
    X(BackUpSequenceSuccess, false)                                                                \
    X(SequenceStoppedByUser, false)                                                                \
    X(DialUpDisconnect, false)                                                                     \
    X(ShutDown, false)                                                                             \
    X(ScheduledBackUp, false)

// UserIMAPPort: the port of the mailbox's IMAP server; 993 speaks TLS from the start,
// any other takes STARTTLS when the server offers it, unless UserIMAPEncryption says
// otherwise. UserSMTPEncryption and UserIMAPEncryption: 0 by the port, 1 TLS from the
// start, 2 STARTTLS required, 3 none (a server on this computer only).
// SMTPAuthMethod and IMAPAuthMethod: how the session logs in: 0 the password, 1 OAuth2,
// 2 an access token that the command SMTPTokenCommand or IMAPTokenCommand prints.
// SMTPOAuthProvider and IMAPOAuthProvider: whose sign-in OAuth2 uses (OAuthClientSettings):
// 0 the endpoints and scopes stored beside it, 1 Microsoft personal accounts, 2 Microsoft
// work or school accounts, 3 Google.
// MaxMessagesPerSequence: the most messages one sequence sends (each part of a file
// sent in parts counts), below what mail providers allow an account in a day; 0 or
// less, no limit.
#define KESTREL_INTEGER_SETTINGS(X)                                                                \
    X(NumberOfFilesInLastSequence, 0)                                                              \
    X(NumberOfBackUpSequences, 0)                                                                  \
    X(UserIMAPPort, 993)                                                                           \
    X(UserSMTPEncryption, 0)                                                                       \
    X(UserIMAPEncryption, 0)                                                                       \
    X(MaxMessagesPerSequence, 400)                                                                 \
    X(SMTPAuthMethod, 0)                                                                           \
    X(IMAPAuthMethod, 0)                                                                           \
    X(SMTPOAuthProvider, 0)                                                                        \
    X(IMAPOAuthProvider, 0)

// MaxMessageBytes: the largest message the program sends when the server announces
// no smaller SIZE; a larger save note goes out in parts. Below 1: only the server's
// limit counts.
#define KESTREL_FLOAT_SETTINGS(X)                                                                  \
    X(NumberOfBytesBackedUp, 0.0)                                                                  \
    X(MaxMessageBytes, 20000000.0)

// Plain strings read as empty when missing. DialUpCommand and HangUpCommand name the
// commands that dial and hang up; CDBurnerDevice names the disc burner (an optical
// drive or an image file "stdio:<path>"); TrustedServerCertificate holds the one
// certificate the user chose to trust for the SMTP server although the system does
// not, as "host:port sha256hex" (ServerCertificateTrust), TrustedIMAPServerCertificate
// the same for the IMAP server. UserIMAPServer and UserIMAPUserName name the IMAP
// server and its log-in of the mailbox that restores read; empty, the SMTP server's
// name with "imap." for a leading "smtp." and the SMTP log-in stand in. SMTPTokenCommand
// and IMAPTokenCommand: the command lines (split as a desktop file's Exec) whose output
// is the access token; an empty IMAP one, the SMTP one stands in. SMTPOAuthClientId,
// SMTPOAuthClientSecret (a desktop client's is not secret: some providers hand one out
// anyway), SMTPOAuthAuthorizationEndpoint, SMTPOAuthTokenEndpoint,
// SMTPOAuthDeviceEndpoint and SMTPOAuthScopes (separated by spaces) describe the OAuth2
// client that signs in; the endpoints and scopes count only with provider 0. The IMAP
// ones the same; with an empty IMAP client ID, the SMTP side's client stands in.
// BackUpScheduleChoice: the last schedule chosen, as BackUpSchedule text, kept while
// the schedule is off so that it shows again.
#define KESTREL_STRING_SETTINGS(X)                                                                 \
    X(SequenceMessage)                                                                             \
    X(SequenceFile)                                                                                \
    X(LastBackUpLogFileName)                                                                       \
    X(UserSMPTName)                                                                                \
    X(UserSMPTServerName)                                                                          \
    X(UserQuayName)                                                                                \
    X(UserEmailAddress)                                                                            \
    X(LastBackUp)                                                                                  \
    X(DialUpCommand)                                                                               \
    X(HangUpCommand)                                                                               \
    X(CDBurnerDevice)                                                                              \
    X(TrustedServerCertificate)                                                                    \
    X(TrustedIMAPServerCertificate)                                                                \
    X(UserIMAPServer)                                                                              \
    X(UserIMAPUserName)                                                                            \
    X(SMTPTokenCommand)                                                                            \
    X(IMAPTokenCommand)                                                                            \
    X(SMTPOAuthClientId)                                                                           \
    X(SMTPOAuthClientSecret)                                                                       \
    X(SMTPOAuthAuthorizationEndpoint)                                                              \
    X(SMTPOAuthTokenEndpoint)                                                                      \
    X(SMTPOAuthDeviceEndpoint)                                                                     \
    X(SMTPOAuthScopes)                                                                             \
    X(IMAPOAuthClientId)                                                                           \
    X(IMAPOAuthClientSecret)                                                                       \
    X(IMAPOAuthAuthorizationEndpoint)                                                              \
    X(IMAPOAuthTokenEndpoint)                                                                      \
    X(IMAPOAuthDeviceEndpoint)                                                                     \
    X(IMAPOAuthScopes)                                                                             \
    X(BackUpScheduleChoice)

// The secrets, read and written as plain text: kept in the desktop's keyring where one
// answers, otherwise scrambled in the database (SecretKeeping). name, what the keyring
// item is called after the edition's name. UserIMAPPassword: empty, the SMTP password
// stands in. SMTPRefreshToken and IMAPRefreshToken: what the last OAuth2 sign-in for
// that server gave; an empty IMAP one, the SMTP one stands in.
#define KESTREL_SECRET_SETTINGS(X)                                                                 \
    X(UserSMPTServerPassword, "SMTP server password")                                              \
    X(UserZipPassword, "zip file password")                                                        \
    X(UserIMAPPassword, "IMAP server password")                                                    \
    X(SMTPRefreshToken, "SMTP server sign-in (OAuth2 refresh token)")                              \
    X(IMAPRefreshToken, "IMAP server sign-in (OAuth2 refresh token)")

// Values that start on in a new profile and off in an existing one, so that an update
// never changes what an existing profile backs up: name, type, value in a new profile
// (off is 0). A profile exists when its backup log or a selection list is there when
// the value is first read; the outcome is stored then. ExcludeCacheFolders: the walk
// leaves out folders tagged with CACHEDIR.TAG. ExcludeFilesLargerThanMB: it leaves out
// files larger than this many MB (of 1,048,576 bytes); 0 or less, no limit.
#define KESTREL_NEW_PROFILE_SETTINGS(X)                                                            \
    X(ExcludeCacheFolders, bool, 1)                                                                \
    X(ExcludeFilesLargerThanMB, int, 1024)

// File locations: an empty or missing value reads as the program folder plus the
// suffix, and that default is written back.
#define KESTREL_LOCATION_SETTINGS(X)                                                               \
    X(FileOfFiles, "/Files.Txt")                                                                   \
    X(FileOfDirectories, "/Dirs.Txt")                                                              \
    X(LogFile, "/Log.Txt")                                                                         \
    X(FileOfExclusions, "/Exclude.Txt")                                                            \
    X(ZipDirectory, "/Zip")                                                                        \
    X(QuayDirectory, "")

class TQuayRegistryObject
{
public:
#define KESTREL_DECLARE_BOOLEAN(name, defaultValue)                                                \
    bool Read##name() const;                                                                       \
    void Write##name(bool value) const;
#define KESTREL_DECLARE_INTEGER(name, defaultValue)                                                \
    int Read##name() const;                                                                        \
    void Write##name(int value) const;
#define KESTREL_DECLARE_FLOAT(name, defaultValue)                                                  \
    double Read##name() const;                                                                     \
    void Write##name(double value) const;
#define KESTREL_DECLARE_STRING(name)                                                               \
    QString Read##name() const;                                                                    \
    void Write##name(const QString& value) const;
#define KESTREL_DECLARE_SECRET(name, label) KESTREL_DECLARE_STRING(name)
#define KESTREL_DECLARE_LOCATION(name, suffix) KESTREL_DECLARE_STRING(name)
#define KESTREL_DECLARE_NEW_PROFILE(name, type, newProfileValue)                                   \
    type Read##name() const;                                                                       \
    void Write##name(type value) const;

    KESTREL_BOOLEAN_SETTINGS(KESTREL_DECLARE_BOOLEAN)
    KESTREL_INTEGER_SETTINGS(KESTREL_DECLARE_INTEGER)
    KESTREL_FLOAT_SETTINGS(KESTREL_DECLARE_FLOAT)
    KESTREL_STRING_SETTINGS(KESTREL_DECLARE_STRING)
    KESTREL_SECRET_SETTINGS(KESTREL_DECLARE_SECRET)
    KESTREL_LOCATION_SETTINGS(KESTREL_DECLARE_LOCATION)
    KESTREL_NEW_PROFILE_SETTINGS(KESTREL_DECLARE_NEW_PROFILE)

#undef KESTREL_DECLARE_BOOLEAN
#undef KESTREL_DECLARE_INTEGER
#undef KESTREL_DECLARE_FLOAT
#undef KESTREL_DECLARE_STRING
#undef KESTREL_DECLARE_SECRET
#undef KESTREL_DECLARE_LOCATION
#undef KESTREL_DECLARE_NEW_PROFILE

    // The profile has been used: its backup log or a selection list exists.
    bool isExistingProfile() const;

    // Written only: a sequence is being started by the auto-run countdown.
    void WriteRunSequenceNow(bool value) const;

    // Capacity of one disc in MB: 650 when missing or 0.
    int ReadMediaCapacity() const;
    void WriteMediaCapacity(int value) const;

    // SMTP port: 25 when missing or 0.
    int ReadUserConnectionPort() const;
    void WriteUserConnectionPort(int value) const;

    // Running number of processed files: above 2,147,480,000 it starts again at 1.
    int ReadFileIDNumber() const;
    void WriteFileIDNumber(int value) const;

    // Per-sequence byte limit: 2,000,000 when missing, unreadable or 0. Written under
    // "MaxNumberOfBytesToBackedUp", read under "MaxNumberOfBytesTOBackedUp": value
    // names compare without regard to case, so both address one value.
    double ReadMaxNumberOfBytesToBackedUp() const;
    void WriteMaxNumberOfBytesToBackedUp(double value) const;

    // Folders changed after this date count as new: "01/01/1995" when missing, not
    // written back.
    QString ReadFolderSearchDate() const;
    void WriteFolderSearchDate(const QString& value) const;

    // Where backups go (the backup folder in KestrelDrive). Stored scrambled. In
    // KestrelClient the read always returns, and stores, the service's address.
    QString ReadUserBackUpEmailAddress() const;
    void WriteUserBackUpEmailAddress(const QString& value) const;

    // The user's identifier in KestrelClient subjects. Nothing in the program sets it:
    // the first read makes one (eight random hexadecimal digits) and stores it, so it
    // stays the same for this user from then on.
    QString ReadUserID() const;

    // The IMAP mailbox that holds the save notes: "INBOX" when missing or empty.
    QString ReadUserIMAPMailbox() const;
    void WriteUserIMAPMailbox(const QString& value) const;

    // The start-with-the-desktop entry of the running edition.
    void WriteRunEntry(bool present) const;
    bool ReadRunEntryPresent() const;

    // The fixed backup address of KestrelClient.
    static QString serviceBackUpAddress();

    static constexpr int FileIDNumberLimit = 2147480000;
    static constexpr int DefaultMediaCapacity = 650;
    static constexpr int DefaultConnectionPort = 25;
    static constexpr double DefaultMaxNumberOfBytes = 2000000.0;

    // Raw access by value name, for the tables above and for tests.
    bool readBoolean(const QString& name) const;
    int readInteger(const QString& name, bool* ok = nullptr) const;
    double readFloat(const QString& name, bool* ok = nullptr) const;
    QString readString(const QString& name) const;
    QString readScrambled(const QString& name) const;
    // A secret of the table, wherever it is kept.
    QString readSecret(const QString& name) const;
    void writeBoolean(const QString& name, bool value) const;
    void writeInteger(const QString& name, int value) const;
    void writeFloat(const QString& name, double value) const;
    void writeString(const QString& name, const QString& value) const;
    void writeScrambled(const QString& name, const QString& value) const;
    void writeSecret(const QString& name, const QString& value) const;

    // The key path of the running edition, "Software\\Orrery\\<Edition>".
    static QString keyPath();

private:
    QString readLocation(const QString& name, const char* suffix) const;
    int readNewProfileValue(const QString& name, int newProfileValue) const;
};
