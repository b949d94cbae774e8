// Files and paths of the send and receive operations. Paths are UTF-8 with "/" separators. No Qt.
#pragma once

#include <string>

// True when the path names an existing entry of any kind.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& folder);
// $TMPDIR when it is set, else /tmp; with a trailing "/".
std::string GetTempFolder();
// The folder of the running program (not of the plug-in), with a trailing "/"; empty when unknown.
std::string GetHostFolder();
// The folder with one "/" at its end.
std::string WithSlash(const std::string& folder);
// The part after the last "/", or the whole path.
std::string FileNameOf(const std::string& path);
// The name the data file's archive gets: its extension replaced by "zip", ".zip" added to a name
// without a dot ("f.rev2.xml" -> "f.rev2.zip", "data" -> "data.zip").
std::string ZipNameOf(const std::string& dataPath);

// Zips the data file as the archive's only entry, under its plain name; false when that failed.
bool ZipDataFile(const std::string& dataFile, const std::string& zipPath);
// What a received attachment becomes: the path of the archive's first entry once it is extracted
// into the folder (the archive is removed; an entry whose name is taken there gets a numbered one,
// so no file is replaced), or the path of an attachment that is no archive and does
// not claim to be one (by its name or its first bytes). Empty when an archive cannot be unpacked
// whole (its entry too large, its data damaged, its headers lying, no file in it), `refusal` telling
// why; nothing of it then stays, the archive neither.
std::string UnpackAttachment(const std::string& archive, const std::string& folder, std::string& refusal);
inline constexpr char kArchiveWithoutFile[] = "в архиве нет файла";

// folder + prefix + a hexadecimal number + "." + extension, created empty and exclusively, so an
// existing file is never taken. Empty when every one of the 65,535 numbers is taken or the folder
// refuses new files.
std::string MakeUniqueFileName(const std::string& folder, const std::string& prefix, const std::string& extension);

// Where MakeUniqueFileName starts counting; tests fix it. nullptr restores the milliseconds since
// the system started.
using UniqueNameStart = unsigned (*)();
void SetUniqueNameStart(UniqueNameStart start);

// A folder of its own (mkdtemp) that is removed with everything in it when the object dies.
class CPrivateFolder {
public:
    // parent ends with "/"; path() is empty when the folder could not be made.
    explicit CPrivateFolder(const std::string& parent);
    ~CPrivateFolder();
    CPrivateFolder(const CPrivateFolder&) = delete;
    CPrivateFolder& operator=(const CPrivateFolder&) = delete;

    // With a trailing "/".
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};
