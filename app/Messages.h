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
inline constexpr char kWindowKey[] = "\\Software\\Quillmoor\\Stillkeep\\Window";
inline constexpr char kGeometryValue[] = "Geometry";
inline constexpr char kSplitValue[] = "Split";

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
// Why a store cannot be written back (%1: the store; %2: its folder).
inline constexpr char kStoreReadOnlyFile[] = "%1 could not be written: it is a read-only file.";
inline constexpr char kStoreReadOnlyDisk[] =
    "%1 could not be written: the disk that holds it is read-only.";
inline constexpr char kStoreNoPermission[] =
    "%1 could not be written: you have no permission to write in the folder %2.";
inline constexpr char kStoreDiskFull[] = "%1 could not be written: the disk that holds it is full.";
// The window's title with a store open (%1: the program's title; %2: the store's file name), and
// what it and the status bar add for a store that is only read.
inline constexpr char kTitleWithStore[] = "%1 - %2";
inline constexpr char kReadOnlyTitle[] = " (read-only)";
inline constexpr char kReadOnlyPanel[] = "Read-only";
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
// After an open recovered a session that ended without closing into a copy beside the store,
// because the store had changed since that session opened it.
inline constexpr char kRecoveredAs[] =
    "The pictures of a session that was not closed properly are recovered into %1, because the store changed since.";
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

// The picture commands.
inline constexpr char kLoadFailed[] = " An Error Occured While Loading File";
inline constexpr char kStoreFailed[] =
    "A shiver runs over my back as I have to say to you that an error has occured while trying to "
    "save the picture to the database";
// %1: the file. Told after a picture whose file ends early was stored.
inline constexpr char kEndedEarly[] =
    "%1 ends before its picture does.\r\rThe picture was stored, but its lower part is missing.";
inline constexpr char kConfirmDelete[] = "Are you sure you want to delete this image?";
inline constexpr char kRenameCaption[] = "Give a name to the picture";
inline constexpr char kRenamePrompt[] = "Name :";
inline constexpr char kKeyExistsCaption[] = "Key already exsists";
inline constexpr char kKeyExistsPrompt[] = "New name";
inline constexpr char kErrorCaption[] = "ERROR";
// %1: the failure's own message; %2: the temporary name that holds the picture. Shown when a
// change of case failed half-way and the picture could not be put back under its old name.
inline constexpr char kRenameKeptAs[] =
    "The picture could not be stored under its new name, nor put back under its old name, and "
    "is kept as '%2':\r%1";
// %1: the failure's own message; %2: the old name. Shown when a rename failed and the picture
// went back under its old name.
inline constexpr char kRenameRestored[] =
    "The picture could not be stored under the new name and keeps its old name '%2':\r%1";
// %1: the failure's own message (it names the key). Shown when an added picture's name cannot be
// made unique within 255 characters.
inline constexpr char kKeyNotUnique[] = "%1.\r\rThe picture was not added; give it a shorter name.";
// Rename and Save Picture of an item whose picture could not be read or decoded: %1 the key.
inline constexpr char kPictureNotShown[] =
    "The picture \"%1\" cannot be shown, so it is neither renamed nor saved. Its stored bytes are "
    "kept as they are.";
// Saving onto files that exist: %1 the file; for a batch, %1 how many and %2 the folder.
inline constexpr char kConfirmReplace[] = "%1 exists already.\r\rReplace it?";
inline constexpr char kConfirmReplaceBatch[] =
    "%1 of the files to save exist already in %2.\r\rYes replaces them, No keeps them and saves "
    "only the others, Cancel saves nothing.";
// %1: the text typed as the file name.
inline constexpr char kSaveNameIsPath[] =
    "\"%1\" is not a file name.\r\rChoose the folder in the folder list and type only the "
    "name of the file.";
// %1: the file; %2: the failure's own message.
inline constexpr char kSaveToDiskFailed[] = "The picture was not saved to %1:\r%2";

// The open dialog for pictures: every format the readers take (built by OpenPictureFilter).
inline constexpr char kAllFilesFilter[] = "ALL Files";
inline constexpr char kFormatFilesFilter[] = "%1 Files";

// The name dialog.
inline constexpr char kNameCaption[] = "Enter a name";
inline constexpr char kNameLabel[] = "Enter a name for the picture:";

// The save dialog.
inline constexpr char kSaveAsCaption[] = "Save As....";
inline constexpr char kFilenameLabel[] = "Filename:";
inline constexpr char kJpegFormat[] = "JPEG File";
inline constexpr char kBmpFormat[] = "BMP File";
inline constexpr char kGifFormat[] = "GIF File";
inline constexpr char kJpegExtensionLabel[] = ".JPG";
inline constexpr char kBmpExtensionLabel[] = ".BMP";
inline constexpr char kGifExtensionLabel[] = ".GIF";
inline constexpr char kJpegExtension[] = ".jpg";
inline constexpr char kBmpExtension[] = ".bmp";
inline constexpr char kGifExtension[] = ".gif";
inline constexpr char kJpegOptions[] = "JPEG Options: Quality Level";
inline constexpr char kBmpOptions[] = "BMP Options..... NO options available for this file format.";
inline constexpr char kGifOptions[] = "Gif Options";
inline constexpr char kInterlaced[] = "Interlaced";
inline constexpr char kTransparent[] = "Transparant BackGround";
inline constexpr char kHomeDrive[] = "Home";
inline constexpr char kRootDrive[] = "File System";
// %1: a drive's name; %2: its folder.
inline constexpr char kDriveEntry[] = "%1 (%2)";

// The About box.
inline constexpr char kAboutCaption[] = "About";
inline constexpr char kProductName[] = "Stillkeep";
inline constexpr char kVersion[] = "Version 0.5";
inline constexpr char kStoreVersionInfo[] = "KES Database Version Information: ";
inline constexpr char kVersionPrefix[] = "Version: ";
inline constexpr char kAuthorPrefix[] = "Author: ";
inline constexpr char kCredits[] =
    "Stillkeep is made by Quillmoor.\rThanks to the Independent JPEG Group and the Qt Project.";
inline constexpr char kHomePage[] = "https://stillkeep.org";
inline constexpr char kHomePageHint[] = "Visit the Homepage";
inline constexpr char kMailAddress[] = "mailto:support@stillkeep.org";
inline constexpr char kMailText[] = "support@stillkeep.org";
inline constexpr char kMailHint[] = "Mail me!";

// The help window.
inline constexpr char kHelpCaption[] = "Stillkeep Help";
inline constexpr char kHelpDocument[] = "qrc:/help/stillkeep.html";


// The batch commands.
inline constexpr char kSelectAll[] = "Select All";
inline constexpr char kDeselectAll[] = "DeSelect All";
inline constexpr char kAddingAction[] = "Adding picture to database";
inline constexpr char kDeletingAction[] = "Deleting file from database";
inline constexpr char kSavingAction[] = "Saving picture to disk";
inline constexpr char kSelectToDelete[] = "Select the entries to delete.";
inline constexpr char kSelectToSave[] = "Select the entries to save to disk.";
inline constexpr char kConfirmBatchDelete[] = "Are you sure you want to delete the selected images?";
// The keys a batch save could not write, one "key: reason" line each (%1).
inline constexpr char kBatchSaveFailed[] = "These pictures were not saved:\r%1";
// The files a scan add could not store, one "file: reason" line each (%1).
inline constexpr char kScanAddFailed[] = "These files were not added to the database:\r%1";

// The store commands.
// The password dialog's choice of protection, shown when a password is set or changed.
inline constexpr char kStrongEncryption[] =
    "Strong encryption (older versions cannot open this store)";
inline constexpr char kReenterPassword[] = "Re-enter your password";
inline constexpr char kEnterYourPassword[] = "Enter your password";
inline constexpr char kPasswordsDiffer[] = "Passwords didn't match!!";
inline constexpr char kConfirmKill[] = "This will physically delete the entire file!\r\n\r\nContinue?";
inline constexpr char kConfirmKillAgain[] =
    "You are about to completely DELETE the entire file!!!\r\n\r\nAre you absolutely certain?";

}  // namespace sk::app_msg
