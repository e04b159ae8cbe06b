#pragma once

#include <string>
#include <vector>

class CCdReader;

// The drives a list's tracks may move between: the Audio-CD drive (letters 'D', 'E', ... for
// /dev/sr0, /dev/sr1, ..., or 'D' for a disc image) and the mounted removable drives, which are
// the folders inside /media/USER and /run/media/USER. A track on a removable drive is found
// again on another one by swapping the mount point.
//
// Threads: Scan and the setters on the user thread at start-up and on a media change; the
// lookups from the thread that edits a list.
class CMediaDrives {
public:
    // Reads from the program's CD reader and the user's mount folders.
    CMediaDrives();
    explicit CMediaDrives(CCdReader& reader);
    CMediaDrives(const CMediaDrives&) = delete;
    CMediaDrives& operator=(const CMediaDrives&) = delete;

    // The drives the program's lists use.
    static CMediaDrives& Program();

    // Lists the CD drives (the first becomes the CD drive unless one was chosen) and the
    // removable drives mounted now.
    void Scan();
    // Folders whose sub-folders are removable drives; tests point them at their own folders.
    void SetMountFolders(std::vector<std::string> folders);
    const std::vector<std::string>& RemovableDrives() const { return m_removable; }
    const std::vector<char>& CdDrives() const { return m_cdDrives; }

    char CdLetter() const { return m_cdLetter; }
    // Chooses the CD drive (the "DriveAudioCD" setting) and records whether it holds audio.
    void SelectCdDrive(char letter);
    bool CdHasAudio() const { return m_cdHasAudio; }

    // The mount point of the removable drive that holds path, or empty.
    std::string RemovableDriveOf(const std::string& path) const;
    // path moved to the first other mounted removable drive where it exists, or empty.
    std::string FindOnRemovable(const std::string& path) const;

    // Whether audio track number (1-based) exists on the CD in the CD drive.
    bool CdTrackExists(int number) const;
    // Number of tracks on the CD (0 when none can be read).
    int OpenCd() const;
    // Seconds of track number (1-based); -1 when it names no track.
    int CdTrackSeconds(int number) const;
    CCdReader& Reader() const { return m_reader; }

private:
    CCdReader& m_reader; // the program's reader outlives every list
    std::vector<std::string> m_mountFolders;
    std::vector<std::string> m_removable; // mount points, no trailing '/'
    std::vector<char> m_cdDrives;
    char m_cdLetter = 'D';
    bool m_cdChosen = false;
    bool m_cdHasAudio = false;
};
