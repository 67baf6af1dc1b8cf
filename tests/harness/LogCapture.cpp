#include "harness/LogCapture.h"

#include "harness/TestFiles.h"
#include "support/IDebugLog.h"

LogCapture::LogCapture() {
  static int counter = 0;
  path_ = "capture-" + std::to_string(++counter) + ".log";
  IDebugLog::CloseLogFile();
  IDebugLog::OpenLogFile(path_.c_str());
}

LogCapture::~LogCapture() { IDebugLog::CloseLogFile(); }

std::string LogCapture::Text() const { return test_files::ReadAll(path_); }
