#include "aldpanel/core/glue.h"

#include <cstring>
#include <type_traits>

#include "aldpanel/core/platform.h"
#include "aldpanel/core/startup.h"

namespace aldpanel {

// The optional exports are bound by name like the others; their pointer
// types must stay those the library declares.
static_assert(std::is_same_v<GetLastErrorTextFn, decltype(&::getLastErrorText)>);
static_assert(std::is_same_v<GetDownloadProgressFn, decltype(&::getDownloadProgress)>);

const char* const kRequiredExportNames[kRequiredExportCount] = {
    "pollDevice",
    "getPort",
    "scanMain",
    "getMirelkDataCount",
    "getMirelkDataCountStr",
    "getMirelkData",
    "selfTest",
    "selfTestTMA",
    "resetSoftware",
    "resetSoftwareTMA",
    "refreshMain",
    "clearActiveAlarms",
    "clearActiveAlarmsTMA",
    "calibrate",
    "setTilt",
    "getPowerValue",
    "getPinValue",
    "setPinValue",
    "setPowerValue",
    "getTilt",
    "addDevice",
    "downloadSoftware",
    "downloadSoftwareTMA",
    "setDeviceData",
    "getMode",
    "getGain",
    "setGain",
    "setMode",
    "setProcessStatus",
    "getProcessStatus",
    "configRET",
    "switchAISGVersion",
    "closeComPort",
};

namespace {

template <typename Fn>
void Bind(void* handle, const char* name, Fn* slot, std::vector<std::string>* messages) {
  void* symbol = platform::FindSymbol(handle, name);
  *slot = reinterpret_cast<Fn>(symbol);
  if (symbol != nullptr || messages == nullptr) return;
  // The first export has always had its own wording.
  if (std::strcmp(name, "pollDevice") == 0) {
    messages->push_back("not found pollDevice");
  } else {
    messages->push_back(std::string("Not found ") + name + " function!");
  }
}

std::string LoadFailedText(const std::string& why) {
  std::string text = std::string("Can't load '") + platform::kGlueLibraryFile + "'!";
  if (!why.empty()) text += "\n" + why;
  return text;
}

}  // namespace

GlueLibrary::~GlueLibrary() {
  Unload();
}

void GlueLibrary::Unload() {
  fns_ = GlueExports{};
  if (handle_ != nullptr) {
    platform::CloseLibrary(handle_);
    handle_ = nullptr;
  }
}

void* GlueLibrary::Open(const std::string& programDir, const std::string& path, std::string* why) {
  if (!path.empty()) return platform::LoadLibraryAt(path, why);
  if (!programDir.empty()) {
    std::string beside = programDir + "/" + platform::kGlueLibraryFile;
    void* h = platform::LoadLibraryAt(beside, nullptr);
    if (h != nullptr) return h;
  }
  return platform::LoadLibraryAt(platform::kGlueLibraryFile, why);
}

std::vector<std::string> GlueLibrary::Load(const std::string& programDir, const std::string& path) {
  Unload();
  std::vector<std::string> messages;
  std::string why;
  handle_ = Open(programDir, path, &why);
  if (handle_ == nullptr) {
    messages.push_back(LoadFailedText(why));
    return messages;
  }
  void* h = handle_;
  std::vector<std::string>* m = &messages;
  Bind(h, "pollDevice", &fns_.pollDevice, m);
  Bind(h, "getPort", &fns_.getPort, m);
  Bind(h, "scanMain", &fns_.scanMain, m);
  Bind(h, "getMirelkDataCount", &fns_.getMirelkDataCount, m);
  Bind(h, "getMirelkDataCountStr", &fns_.getMirelkDataCountStr, m);
  Bind(h, "getMirelkData", &fns_.getMirelkData, m);
  Bind(h, "selfTest", &fns_.selfTest, m);
  Bind(h, "selfTestTMA", &fns_.selfTestTMA, m);
  Bind(h, "resetSoftware", &fns_.resetSoftware, m);
  Bind(h, "resetSoftwareTMA", &fns_.resetSoftwareTMA, m);
  Bind(h, "refreshMain", &fns_.refreshMain, m);
  Bind(h, "clearActiveAlarms", &fns_.clearActiveAlarms, m);
  Bind(h, "clearActiveAlarmsTMA", &fns_.clearActiveAlarmsTMA, m);
  Bind(h, "calibrate", &fns_.calibrate, m);
  Bind(h, "setTilt", &fns_.setTilt, m);
  Bind(h, "getPowerValue", &fns_.getPowerValue, m);
  Bind(h, "getPinValue", &fns_.getPinValue, m);
  Bind(h, "setPinValue", &fns_.setPinValue, m);
  Bind(h, "setPowerValue", &fns_.setPowerValue, m);
  Bind(h, "getTilt", &fns_.getTilt, m);
  Bind(h, "addDevice", &fns_.addDevice, m);
  Bind(h, "downloadSoftware", &fns_.downloadSoftware, m);
  Bind(h, "downloadSoftwareTMA", &fns_.downloadSoftwareTMA, m);
  Bind(h, "setDeviceData", &fns_.setDeviceData, m);
  Bind(h, "getMode", &fns_.getMode, m);
  Bind(h, "getGain", &fns_.getGain, m);
  Bind(h, "setGain", &fns_.setGain, m);
  Bind(h, "setMode", &fns_.setMode, m);
  Bind(h, "setProcessStatus", &fns_.setProcessStatus, m);
  Bind(h, "getProcessStatus", &fns_.getProcessStatus, m);
  Bind(h, "configRET", &fns_.configRET, m);
  Bind(h, "switchAISGVersion", &fns_.switchAISGVersion, m);
  Bind(h, "closeComPort", &fns_.closeComPort, m);
  // Newer libraries only: their absence is no fault.
  Bind(h, "getLastErrorText", &fns_.getLastErrorText, nullptr);
  Bind(h, "getDownloadProgress", &fns_.getDownloadProgress, nullptr);
  Bind(h, "getDownloadFileSize", &fns_.getDownloadFileSize, nullptr);
  return messages;
}

std::vector<std::string> GlueLibrary::LoadStatusOnly(const std::string& programDir,
                                                     const std::string& path) {
  Unload();
  std::vector<std::string> messages;
  std::string why;
  handle_ = Open(programDir, path, &why);
  if (handle_ == nullptr) {
    messages.push_back(LoadFailedText(why));
    return messages;
  }
  Bind(handle_, "setProcessStatus", &fns_.setProcessStatus, &messages);
  Bind(handle_, "getProcessStatus", &fns_.getProcessStatus, &messages);
  Bind(handle_, "getDownloadProgress", &fns_.getDownloadProgress, nullptr);
  Bind(handle_, "getDownloadFileSize", &fns_.getDownloadFileSize, nullptr);
  return messages;
}

std::string GlueLibrary::LastErrorText() const {
  if (fns_.getLastErrorText == nullptr) return {};
  char text[512] = {};
  int length = fns_.getLastErrorText(text, static_cast<int>(sizeof text));
  if (length <= 0) return {};
  text[sizeof text - 1] = '\0';
  return text;
}

}  // namespace aldpanel
