// Every fixed text of the program's windows: captions, prompts, messages and registry names. The
// texts of the store (store/KESErrors.h) and of the codecs (imaging/InvalidGraphic.h) live there.
#pragma once

namespace sk::app_msg {

// The program's title: the main window's caption and the caption of its message boxes.
inline constexpr char kAppTitle[] = "Stillkeep 0.5";

// Registry keys and values (HKEY_CURRENT_USER).
inline constexpr char kPreferencesKey[] = "\\Software\\Quillmoor\\Stillkeep\\Preferences";
inline constexpr char kRecentRoot[] = "\\Software\\Quillmoor\\Stillkeep";
inline constexpr char kRecentSubkey[] = "Menu";
inline constexpr char kQualityValue[] = "Quality";
inline constexpr char kAutoStartValue[] = "AutoStart";
inline constexpr char kViewStyleValue[] = "ViewStyle";
inline constexpr char kLanguageValue[] = "Language";
inline constexpr char kLastFileValue[] = "LastFile";

// Messages of the main window. "\r" is a line break in message boxes.
inline constexpr char kFileNotFound[] =
    "The File you selected could not be found!\r\rMaybe it was moved?";
inline constexpr char kConfirmExit[] = "Are you sure you want to exit Stillkeep?";
// %1: the value read. Shown when a preference does not hold a whole number.
inline constexpr char kNotAnInteger[] = "'%1' is not a valid integer value";
// %1: the store opened; %2: the file it was written to instead.
inline constexpr char kSavedElsewhere[] =
    "%1 was changed by another program while it was open.\r\rYour database was saved as %2.";
inline constexpr char kExitUnsaved[] =
    "The database could not be saved.\r\rExit anyway and lose the changes made since it was "
    "opened?";
// Shown for a failure that carries no message of its own.
inline constexpr char kUnknownFailure[] = "An unknown error occurred";

// Status bar.
inline constexpr char kNoDatabase[] = "No database";
inline constexpr char kOutOf[] = " out of ";
inline constexpr char kKb[] = " kb";
inline constexpr char kItemSizeLabel[] = "Itemsize:";
inline constexpr char kFit[] = "Fit";
inline constexpr char kOriginal[] = "Original";

// The open dialog for stores.
inline constexpr char kOpenStoreTitle[] = "Open Or Create A New Database";
inline constexpr char kOpenStoreFilter[] = "Stillkeep File (*.skd)";
inline constexpr char kStoreExtension[] = "skd";

// Menus and their items ("&" marks the access key).
inline constexpr char kFileMenu[] = "&File";
inline constexpr char kOpenItem[] = "&Open / New Database";
inline constexpr char kReopenItem[] = "Reopen";
inline constexpr char kCloseItem[] = "&Close Database";
inline constexpr char kPreferencesItem[] = "&Preferences..";
inline constexpr char kExitItem[] = "E&xit";
inline constexpr char kImageMenu[] = "&Image";
inline constexpr char kLoadItem[] = "Load";
inline constexpr char kDeleteItem[] = "Delete";
inline constexpr char kRenameItem[] = "Rename";
inline constexpr char kSaveToDiskItem[] = "Save To Disk";
inline constexpr char kBatchMenu[] = "&Batch";
inline constexpr char kAddItem[] = "Add";
inline constexpr char kFileScanningItem[] = "File Scanning";
inline constexpr char kSaveImageItem[] = "Save Image";
inline constexpr char kDatabaseMenu[] = "&Database";
inline constexpr char kPasswordItem[] = "Add / Change Password";
inline constexpr char kPackItem[] = "Pack";
inline constexpr char kKillItem[] = "Kill";
inline constexpr char kHelpMenu[] = "&Help";
inline constexpr char kContentsItem[] = "Contents";
inline constexpr char kAboutItem[] = "About";

// Tool-bar hints.
inline constexpr char kAddHint[] = "Add a picture to the database";
inline constexpr char kDeleteHint[] = "Delete Picture";
inline constexpr char kSaveHint[] = "Save Picture";
inline constexpr char kRenameHint[] = "Rename a picture";
inline constexpr char kZoomInHint[] = "Zoom In";
inline constexpr char kZoomOutHint[] = "Zoom Out";
inline constexpr char kViewStyleHint[] = "Change ViewStyle Temporarely";
inline constexpr char kInfoHint[] = "Info";

// The password dialog.
inline constexpr char kPasswordCaption[] = "Password Dialog";
inline constexpr char kPasswordLabel[] = "Enter password:";
inline constexpr char kOk[] = "OK";
inline constexpr char kCancel[] = "Cancel";

// The preferences dialog.
inline constexpr char kPreferencesCaption[] = "Preferences";
inline constexpr char kDatabasePreferences[] = "Database Preferences";
inline constexpr char kPictureQuality[] = "Picture Quality";
inline constexpr char kStartupPreferences[] = "Startup Preferences";
inline constexpr char kLanguageOptions[] = "Language Options";
inline constexpr char kViewOptions[] = "View Options";
inline constexpr char kAutoLoad[] = "Auto-Load last opened file?";
inline constexpr char kEnglish[] = "English";
inline constexpr char kViewStyleGroup[] = "ViewStyle";
inline constexpr char kFitToScreen[] = "Fit to screen";
inline constexpr char kOriginalSize[] = "Original Size";
inline constexpr char kHelpButton[] = "&Help";
inline constexpr char kPercent[] = " %";

// The help window.
inline constexpr char kHelpCaption[] = "Stillkeep Help";
inline constexpr char kHelpDocument[] = "qrc:/help/stillkeep.html";

}  // namespace sk::app_msg
