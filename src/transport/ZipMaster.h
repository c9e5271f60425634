#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>

#include <functional>

// The zip component: makes archives with the zip engine (BackUpArchiveWriter, part
// of the program). The main window owns one (AZipFile); the file object's CreateZip sets
// its archive name, file list, options and password and calls AddFiles.
//
// Nothing here shows a message: a failure is recorded in LastErrorCode and
// LastErrorMessage and leaves SuccessCount at 0, and the caller decides how to
// report it.
class TZipMaster
{
public:
    // Adding options, bit 0 first. Only AddDirNames and AddEncrypt change what this
    // engine does; the others are kept so that option sets read as they always did.
    enum AddOption
    {
        AddDirNames = 1 << 0,
        AddRecurseDirs = 1 << 1,
        AddMove = 1 << 2,
        AddFreshen = 1 << 3,
        AddUpdate = 1 << 4,
        AddZipTime = 1 << 5,
        AddForceDOS = 1 << 6,
        AddHiddenFiles = 1 << 7,
        AddArchiveOnly = 1 << 8,
        AddResetArchive = 1 << 9,
        AddEncrypt = 1 << 10,
        AddSeparateDirs = 1 << 11,
        AddVolume = 1 << 12,
        AddDiskSpan = 1 << 13,
        AddDiskSpanErase = 1 << 14,
    };
    Q_DECLARE_FLAGS(AddOptionSet, AddOption)

    // Extensions whose files are stored without compression (they are compressed
    // already), in member order.
    enum StoreSuffix
    {
        assGIF = 1 << 0,
        assPNG = 1 << 1,
        assZ = 1 << 2,
        assZIP = 1 << 3,
        assZOO = 1 << 4,
        assARC = 1 << 5,
        assLZH = 1 << 6,
        assARJ = 1 << 7,
        assTAZ = 1 << 8,
        assTGZ = 1 << 9,
        assLHA = 1 << 10,
        assRAR = 1 << 11,
        assACE = 1 << 12,
        assCAB = 1 << 13,
        assGZ = 1 << 14,
        assGZIP = 1 << 15,
        assJAR = 1 << 16,
        assEXE = 1 << 17,
    };
    Q_DECLARE_FLAGS(StoreSuffixSet, StoreSuffix)

    // Every member but assEXE: the set the program uses.
    static StoreSuffixSet defaultStoreSuffixes();
    // ".gif:.png:..." for the members of a set, in member order.
    static QString storeSuffixList(StoreSuffixSet suffixes);

    static constexpr int MaxPasswordLength = 255;

    int AddCompLevel() const { return m_compLevel; }
    // 0 stores every file; 1 to 9 deflate at that level.
    void SetAddCompLevel(int level);
    AddOptionSet AddOptions() const { return m_addOptions; }
    void SetAddOptions(AddOptionSet options) { m_addOptions = options; }
    StoreSuffixSet AddStoreSuffixes() const { return m_storeSuffixes; }
    void SetAddStoreSuffixes(StoreSuffixSet suffixes) { m_storeSuffixes = suffixes; }

    // The archive, as an absolute path. Setting it reads the archive's directory.
    const QString& ZipFileName() const { return m_zipFileName; }
    void SetZipFileName(const QString& fileName);
    // Full paths of the files to add; emptied by every AddFiles.
    QStringList& FSpecArgs() { return m_fileSpecs; }
    const QString& Password() const { return m_password; }
    void SetPassword(const QString& password) { m_password = password; }
    bool Verbose() const { return m_verbose; }
    void SetVerbose(bool verbose) { m_verbose = verbose; }
    // Where the engine used to be looked for. The engine is linked in, so this is
    // only kept (without a trailing "/") for callers that set it.
    const QString& DLLDirectory() const { return m_dllDirectory; }
    void SetDLLDirectory(const QString& folder);

    // Called on the packing thread while AddFiles writes an archive, with the part
    // written (0 to 1) about every 1 %; for progress shown while a large file is packed.
    using ProgressHandler = std::function<void(double)>;
    void SetProgressHandler(ProgressHandler handler) { m_progressHandler = std::move(handler); }
    // Sizes and offsets from this value up get zip64 records (0: from 4 GiB, as zip
    // requires). Lowered only by tests, to check zip64 archives without 4 GiB files.
    void setZip64Threshold(quint64 threshold) { m_zip64Threshold = threshold; }

    int SuccessCount() const { return m_successCount; }
    qint64 ArchiveSize() const { return m_archiveSize; }
    int LastErrorCode() const { return m_lastErrorCode; }
    const QString& LastErrorMessage() const { return m_lastErrorMessage; }

    // The engine is part of the program, so loading always succeeds.
    void LoadZipEngine();
    void LoadUnzipEngine();
    void UnloadZipEngine() { m_zipEngineLoaded = false; }
    void UnloadUnzipEngine() { m_unzipEngineLoaded = false; }
    bool ZipEngineLoaded() const { return m_zipEngineLoaded; }
    bool UnzipEngineLoaded() const { return m_unzipEngineLoaded; }

    // Writes a new archive ZipFileName holding the files of FSpecArgs, replacing an
    // archive of that name. The archive is written under a temporary name and
    // renamed when complete, so a failure never leaves a partial archive behind.
    // SuccessCount is the number of files added: 0 on any failure.
    void AddFiles();
    // A hidden name in folder for an archive that lives only while this process runs
    // (tag tells several apart): AddFiles of any later process removes such archives
    // once their process is gone.
    static QString scratchArchivePath(const QString& folder, const QString& tag);
    // Sets ArchiveSize to the archive's size (0 when there is none) and checks
    // that it ends in a zip directory.
    void ReadDirectory();
    // Records the numbered message followed by the extra text as the last error.
    void ReportZipMessage(int number, const QString& extraText = QString());

    // Whether a file would be stored rather than compressed under the current
    // level and suffix set. A file whose start does not shrink when deflated is
    // stored too (see deflateShrinks).
    bool isStored(const QString& path) const;

private:
    int writeArchive();

    int m_compLevel = 9;
    AddOptionSet m_addOptions;
    StoreSuffixSet m_storeSuffixes = defaultStoreSuffixes();
    QString m_zipFileName;
    QStringList m_fileSpecs;
    QString m_password;
    bool m_verbose = false;
    QString m_dllDirectory;
    int m_successCount = 0;
    qint64 m_archiveSize = 0;
    int m_lastErrorCode = 0;
    QString m_lastErrorMessage;
    bool m_zipEngineLoaded = false;
    bool m_unzipEngineLoaded = false;
    bool m_busy = false;
    ProgressHandler m_progressHandler;
    quint64 m_zip64Threshold = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TZipMaster::AddOptionSet)
Q_DECLARE_OPERATORS_FOR_FLAGS(TZipMaster::StoreSuffixSet)
