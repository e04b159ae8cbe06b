#pragma once

#include <cstdint>

// Ids of the string table (resources/STRINGS). Message boxes, file-dialog filters, the system
// menu entry and the tooltips keep their historic ids; menu and dialog texts are numbered
// resource id x 100 + n, so menu 170's third entry is 17003 and dialog 135's labels are 135xx.
// File-dialog filters are pairs of lines, description then pattern, each ending in a line
// feed, the whole string with one more.
namespace StringId {

// Messages, captions, filters.
constexpr int32_t About = 101;               // system menu entry "&About..."
constexpr int32_t SoundDeviceError = 102;    // Retry / Cancel
constexpr int32_t MixTracksMissing = 103;    // a mix cannot start: tracks missing
constexpr int32_t SoundServerMissing = 104;  // the sound server cannot be reached
constexpr int32_t SoundDeviceLost = 105;     // the device stopped while playing: Retry / Cancel
constexpr int32_t CannotSave = 106;          // printf format, %s = the folder that is read-only
constexpr int32_t Id3WriteError = 108;       // once per edit
constexpr int32_t TracksUsedInMix = 109;     // delete refused
constexpr int32_t PlaylistSaveError = 110;   // Retry / Cancel
constexpr int32_t SetupCaption = 111;        // "Setup"
constexpr int32_t AddFolderTitle = 32846;    // folder browser title
constexpr int32_t LocateFilter = 32848;      // Edit Entry "Locate"
constexpr int32_t AddFilesFilter = 32852;    // "&Add File(s)"
constexpr int32_t SaveFilter = 32854;        // the list save dialog
constexpr int32_t LoadFilter = 32876;        // "&Load Playlist or Mix"
constexpr int32_t OutputStartError = 33013;  // internal error OUTPUT_START
constexpr int32_t PlayOriginalOrder = 33042; // first entry of the Play CD list
constexpr int32_t PlayCdMixOption = 33043;   // second entry: printf format, %s = the mix title
constexpr int32_t MakerWebAddress = 33067;   // opened by the about window's link

// Tooltips: 32862 .. 33040, looked up through the main window's tooltip table.
constexpr int32_t FirstTooltip = 32862;
constexpr int32_t LastTooltip = 33040;

// Menu 170, the load menu.
constexpr int32_t MenuPlayCd = 17001;
constexpr int32_t MenuLoadPlaylistOrMix = 17002;
constexpr int32_t MenuAddFiles = 17003;
constexpr int32_t MenuAddDirectory = 17004;
constexpr int32_t MenuPlaySelectedCase = 17005;
// Menu 177, the list context menu with a multiple selection: the five sorts, then the four
// entries that menu 204 (a single selection) shows alone.
constexpr int32_t MenuSortByTitle = 17701;
constexpr int32_t MenuSortByArtist = 17702;
constexpr int32_t MenuSortByAlbum = 17703;
constexpr int32_t MenuSortByFileName = 17704;
constexpr int32_t MenuSortByBpm = 17705;
constexpr int32_t MenuJumpToPlaying = 17706;
constexpr int32_t MenuJumpToNextPlaying = 17707;
constexpr int32_t MenuSearchEntry = 17708;
constexpr int32_t MenuEdit = 17709;
constexpr int32_t MenuAnalyse = 17710; // both menus, after Edit: the selected tracks analysed again
// Menu 205, add; menu 206, delete.
constexpr int32_t MenuTrackAddFiles = 20501;
constexpr int32_t MenuTrackAddDirectory = 20502;
constexpr int32_t MenuDeleteSelected = 20601;
constexpr int32_t MenuClearAll = 20602;

// Dialog 100, the about window.
constexpr int32_t AboutCaption = 10000;
constexpr int32_t AboutOk = 10001;
// The setup sheet's buttons (its caption is SetupCaption).
constexpr int32_t SetupOk = 11101;
constexpr int32_t SetupCancel = 11102;
// Dialog 135, the Audio page.
constexpr int32_t AudioTitle = 13500;
constexpr int32_t AudioGeneral = 13501;
constexpr int32_t AudioDevice = 13502;
constexpr int32_t AudioLatency = 13503;
constexpr int32_t AudioMs = 13504;
constexpr int32_t AudioDeviceNote = 13505;
constexpr int32_t AudioLatencyNote = 13506;
constexpr int32_t AudioCdNote = 13507;
// Dialog 142, the main window: the playlist columns Title, Artist, Time, A#, Album, Genre,
// Comment, File.
constexpr int32_t FirstColumnHeader = 14201;
// Dialog 145, the Preferences page.
constexpr int32_t PreferencesTitle = 14500;
constexpr int32_t PreferencesGeneral = 14501;
constexpr int32_t PreferencesToolTips = 14502;
constexpr int32_t PreferencesPlayer = 14503;
constexpr int32_t PreferencesCdDrive = 14504;
constexpr int32_t PreferencesTimeLine = 14505;
constexpr int32_t PreferencesFixedBlocks = 14506;
constexpr int32_t PreferencesPlaylist = 14507;
constexpr int32_t PreferencesSubDirectories = 14508;
constexpr int32_t PreferencesAutomix = 14509;
constexpr int32_t PreferencesSkipSilence = 14510;
constexpr int32_t PreferencesLevelTracks = 14511;
// Dialog 171, find.
constexpr int32_t FindCaption = 17100;
constexpr int32_t FindAnywhere = 17101;
constexpr int32_t FindTitle = 17102;
constexpr int32_t FindArtist = 17103;
constexpr int32_t FindAlbum = 17104;
constexpr int32_t FindNext = 17105;
constexpr int32_t FindSelectAll = 17106;
constexpr int32_t FindClose = 17107;
// Dialog 173, Edit Entry.
constexpr int32_t EditEntryCaption = 17300;
constexpr int32_t EditEntryTitle = 17301;
constexpr int32_t EditEntryArtist = 17302;
constexpr int32_t EditEntryAlbum = 17303;
constexpr int32_t EditEntryTrack = 17304;
constexpr int32_t EditEntryGenre = 17305;
constexpr int32_t EditEntryComment = 17306;
constexpr int32_t EditEntryLocation = 17307;
constexpr int32_t EditEntryLocate = 17308;
constexpr int32_t EditEntryReadId3 = 17309;
constexpr int32_t EditEntryWriteId3 = 17310;
constexpr int32_t EditEntryOk = 17311;
constexpr int32_t EditEntryCancel = 17312;
// Dialog 176, Edit Group.
constexpr int32_t EditGroupCaption = 17600;
constexpr int32_t EditGroupArtist = 17601;
constexpr int32_t EditGroupAlbum = 17602;
constexpr int32_t EditGroupComment = 17603;
constexpr int32_t EditGroupGenre = 17604;
constexpr int32_t EditGroupNumberTracks = 17605;
constexpr int32_t EditGroupWriteId3 = 17606;
constexpr int32_t EditGroupOk = 17607;
constexpr int32_t EditGroupCancel = 17608;
// Dialog 194, the File Types page: the group, the note, then the seven boxes in page order
// (.QZL, .QZX, .M3U, .WAV, .MP3, .CDA, Audio CD).
constexpr int32_t FileTypesTitle = 19400;
constexpr int32_t FileTypesGroup = 19401;
constexpr int32_t FileTypesNote = 19402;
constexpr int32_t FirstFileType = 19403;
// Dialog 198, Playlist & Mix Info.
constexpr int32_t MixInfoCaption = 19800;
constexpr int32_t MixInfoListTitle = 19801;
constexpr int32_t MixInfoMixTitle = 19802;
constexpr int32_t MixInfoComment = 19803;
constexpr int32_t MixInfoOk = 19804;
constexpr int32_t MixInfoCancel = 19805;
// Dialog 207, Play CD.
constexpr int32_t PlayCdCaption = 20700;
constexpr int32_t PlayCdPlay = 20701;
constexpr int32_t PlayCdCancel = 20702;
// The setup sheet's Controllers page: the DJ controllers found, their mappings, learn.
constexpr int32_t ControllersTitle = 21000;
constexpr int32_t ControllersDevices = 21001;
constexpr int32_t ControllersPort = 21002;
constexpr int32_t ControllersState = 21003;
constexpr int32_t ControllersMapping = 21004;
constexpr int32_t ControllersConnected = 21005;
constexpr int32_t ControllersUnplugged = 21006;
constexpr int32_t ControllersNone = 21007;
constexpr int32_t ControllersLearn = 21008;
constexpr int32_t ControllersLearnNote = 21009;
constexpr int32_t ControllersProblems = 21010;

} // namespace StringId
