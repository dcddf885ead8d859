#pragma once

#include <QString>

#include <cstdint>

// Values shared by every OvPiktoExporter of the loaded plug-in module (one copy per
// process). Each topic of the controller initialises and uses its own.
namespace OvPiktoExporterGlobals {

// Sign-in and remembered account.
inline bool isAutoSignInInProgress = false; // an automatic sign-in is scheduled, not yet begun
inline bool triedToUpdate = false;          // the start-up update check has run
inline std::int32_t signInError = 0;        // which field gets the focus after a sign-in message
inline bool initialFireFinished = false;    // the automatic sign-in timer has ticked once
inline std::int32_t count = 0;              // the after-sign-in timer has ticked once (0 or 1)

// Album management: the album sheet was last closed by its confirm action.
inline bool applyAlbumChanges = false;

// The installed plug-in's version ("version.build"); null until page set-up finds it.
inline QString pluginVersion;

// Export and upload.
inline QString albumIDBeforeUpload;
inline QString albumIDImagesUploadedTo;
inline std::int32_t currentFailedConnectionRetry = 0;
inline std::int32_t photoUploadError = 0;
inline double prevSize = 0.0;

} // namespace OvPiktoExporterGlobals
