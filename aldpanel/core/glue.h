// Loads the flat control interface (libaldglue.so) at run time and binds its
// exports by name. A missing library or export leaves only the functions
// that need it inert: every caller tests the pointer before calling.
#pragma once

#include <string>
#include <vector>

#include "aldglue/aldglue.h"

namespace aldpanel {

// Title of the binding's messages.
inline constexpr const char* kBindMessageTitle = "Initial DLL function";

// The optional exports that newer libraries add.
using GetLastErrorTextFn = int (*)(char* text, int size);
using GetDownloadProgressFn = int (*)(int* bytes);

// The 33 bound exports in the order in which they are looked up, then the
// optional ones. Null while unbound.
struct GlueExports {
  decltype(&::pollDevice) pollDevice = nullptr;
  decltype(&::getPort) getPort = nullptr;
  decltype(&::scanMain) scanMain = nullptr;
  decltype(&::getMirelkDataCount) getMirelkDataCount = nullptr;
  decltype(&::getMirelkDataCountStr) getMirelkDataCountStr = nullptr;
  decltype(&::getMirelkData) getMirelkData = nullptr;
  decltype(&::selfTest) selfTest = nullptr;
  decltype(&::selfTestTMA) selfTestTMA = nullptr;
  decltype(&::resetSoftware) resetSoftware = nullptr;
  decltype(&::resetSoftwareTMA) resetSoftwareTMA = nullptr;
  decltype(&::refreshMain) refreshMain = nullptr;
  decltype(&::clearActiveAlarms) clearActiveAlarms = nullptr;
  decltype(&::clearActiveAlarmsTMA) clearActiveAlarmsTMA = nullptr;
  decltype(&::calibrate) calibrate = nullptr;
  decltype(&::setTilt) setTilt = nullptr;
  decltype(&::getPowerValue) getPowerValue = nullptr;
  decltype(&::getPinValue) getPinValue = nullptr;
  decltype(&::setPinValue) setPinValue = nullptr;
  decltype(&::setPowerValue) setPowerValue = nullptr;
  decltype(&::getTilt) getTilt = nullptr;
  decltype(&::addDevice) addDevice = nullptr;
  decltype(&::downloadSoftware) downloadSoftware = nullptr;
  decltype(&::downloadSoftwareTMA) downloadSoftwareTMA = nullptr;
  decltype(&::setDeviceData) setDeviceData = nullptr;
  decltype(&::getMode) getMode = nullptr;
  decltype(&::getGain) getGain = nullptr;
  decltype(&::setGain) setGain = nullptr;
  decltype(&::setMode) setMode = nullptr;
  decltype(&::setProcessStatus) setProcessStatus = nullptr;
  decltype(&::getProcessStatus) getProcessStatus = nullptr;
  decltype(&::configRET) configRET = nullptr;
  decltype(&::switchAISGVersion) switchAISGVersion = nullptr;
  decltype(&::closeComPort) closeComPort = nullptr;
  // Optional: no message when missing.
  GetLastErrorTextFn getLastErrorText = nullptr;
  GetDownloadProgressFn getDownloadProgress = nullptr;
  decltype(&::getDownloadFileSize) getDownloadFileSize = nullptr;
};

// Number of exports every library must have (the optional ones aside).
inline constexpr int kRequiredExportCount = 33;

// The names of the 33 required exports in look-up order.
extern const char* const kRequiredExportNames[kRequiredExportCount];

class GlueLibrary {
 public:
  GlueLibrary() = default;
  ~GlueLibrary();
  GlueLibrary(const GlueLibrary&) = delete;
  GlueLibrary& operator=(const GlueLibrary&) = delete;

  // Loads the library: `path` when not empty; otherwise "libaldglue.so" in
  // `programDir` first, then by the usual search. Then binds every export.
  // Returns the messages to show, one per fault, each under
  // kBindMessageTitle with the error icon: "Can't load 'libaldglue.so'!"
  // (with the loader's reason on a second line) when the library cannot be
  // loaded, else one "Not found <name> function!" per missing export (for the
  // first export "not found pollDevice"). Empty when everything was bound.
  // A second Load releases the first library.
  std::vector<std::string> Load(const std::string& programDir, const std::string& path = "");

  // Only the two process-status exports (what the busy window needs), with
  // the messages for those two, and the optional download progress words.
  std::vector<std::string> LoadStatusOnly(const std::string& programDir,
                                          const std::string& path = "");

  // Releases the library; every pointer becomes null.
  void Unload();

  bool loaded() const { return handle_ != nullptr; }
  const GlueExports& exports() const { return fns_; }
  // Tests put fakes here instead of a library.
  GlueExports& mutableExports() { return fns_; }

  // The text of the last adapter, port or site-file fault (getLastErrorText),
  // "" when there was none or the export is missing.
  std::string LastErrorText() const;

 private:
  void* Open(const std::string& programDir, const std::string& path, std::string* why);

  void* handle_ = nullptr;
  GlueExports fns_;
};

}  // namespace aldpanel
