#include "script/script_runner.h"

#include <windows.h>

#include "app/local_text.h"
#include "app/run_settings.h"
#include "expr/path_resolver.h"
#include "pack/file_manifest.h"
#include "pack/result_packager.h"
#include "script/action_dispatcher.h"
#include "script/script_document.h"
#include "script/signature.h"
#include "sys/handles_win.h"

namespace {
LogFile* g_fileList = nullptr;

const char kFileListStart[] = "<FILE_LIST_START>";
const char kFileListEnd[] = "<FILE_LIST_END>";
// The check value covers the whole list up to and including its end marker.
void SignFileList() {
  const std::string path = g_fileList->path();
  std::string text;
  if (!ReadTextFile(&text, path) || !InsertSignature(&text, TextCrc(text)) ||
      !WriteTextFile(text, path)) {
    RaiseWriteFailure();
  }
}
}  // namespace

LogFile* CurrentFileList() { return g_fileList; }

namespace {
// The name without its extension.
std::string FileTitle(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}
}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ExecutableFolder(size_t bufferSize) {
  std::string buffer(bufferSize, '\0');
  const DWORD n = ::GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(bufferSize));
  buffer.resize(n < bufferSize ? n : bufferSize - 1);
  return FolderOf(buffer);
}

ScriptRunner::ScriptRunner(const std::string& outputName) {
  RunSettings& settings = Settings();
  std::string baseFolder;
  if (!settings.outFile.empty()) {
    outputPath = settings.outFile;
    baseFolder = FolderOf(settings.outFile);
  } else {
    outputPath = outputName;
    baseFolder = FolderOf(outputName);
  }
  exeFolder = ExecutableFolder(256);
  tempFolder = (baseFolder.empty() ? exeFolder : baseFolder) + "\\~BX_TEMP";
  activityLog = std::make_unique<ActivityLog>(tempFolder + "\\Activity Log.csv");
  settings.tempFolder = tempFolder;
  PathResolver* resolver = CreateResolver();
  resolver->SetToolFolder(exeFolder);
  resolver->SetActivityLog(activityLog.get());
  xmlFile = settings.xmlFile;
  outFile = settings.outFile;
  versionLogic = std::make_unique<VersionLogic>(activityLog.get());
  g_fileList = new LogFile(tempFolder + "\\FileList.csv");
  FileManifest::Attach(g_fileList, tempFolder);
}

ScriptRunner::~ScriptRunner() {
  versionLogic.reset();
  DestroyResolver();
  activityLog.reset();
  FileManifest::Detach();
  delete g_fileList;
  g_fileList = nullptr;
}

int32_t ScriptRunner::Run(int32_t pass) {
  RunSettings& settings = Settings();
  const bool running = pass == RunPassRun;
  if (running) {
    activityLog->Enable();
    ::CreateDirectoryA(tempFolder.c_str(), nullptr);
    if (settings.caseIdGiven)
      activityLog->AppendLine("TOV TOOL CASE ID = " + settings.caseId + "\r\n");
    activityLog->AppendLine("Time,Type,Description");
    g_fileList->AppendLine(kFileListStart);
  } else {
    activityLog->Disable();
  }

  const std::string pattern = !xmlFile.empty() ? xmlFile : exeFolder + "\\*.tov";
  const std::string patternFolder = FolderOf(pattern);
  sys::FileFind find;
  if (find.First(pattern)) {
    // An apartment that was already initialised on this thread (S_FALSE)
    // counts as failure: no script is processed then.
    sys::ComApartment com;
    if (com.result() == S_OK) {
      ActionDispatcher dispatcher(activityLog.get(), versionLogic.get(), exeFolder, tempFolder,
                                  scriptFolder, &stepTotal, StandardCollectors());
      do {
        const std::string name = find.name();
        const std::string source = patternFolder.empty() ? name : patternFolder + "\\" + name;
        if (running) {
          activityLog->Write(SeverityInformation, Format("XML file found: %s", name.c_str()));
          ::CopyFileA(source.c_str(), (tempFolder + "\\" + name).c_str(), FALSE);
          FileManifest::AddFile(name, "");
        }
        std::string text;
        ReadTextFile(&text, source);
        const uint32_t stored = ReadSignature(text);
        StripSignature(&text);
        if (stored != TextCrc(text)) {
          if (running) {
            activityLog->Write(
                SeverityError,
                Format("XML file %s does not have a valid signiture and will not be processed.",
                       name.c_str()));
          }
          continue;
        }
        scriptFolder = tempFolder + "\\" + FileTitle(name);
        Resolver()->SetDataFolder(scriptFolder);
        if (running) ::CreateDirectoryA(scriptFolder.c_str(), nullptr);
        ScriptDocument document;
        if (document.Load(source)) dispatcher.WalkNode(document.Root(), pass);
      } while (find.Next());
    }
  }

  if (!running) return stepTotal;
  if (!settings.writeFailed) {
    if (settings.stopRequested) {
      activityLog->Write(SeverityInformation, "User requested termination");
    } else {
      FileManifest::AddFile("Activity Log.csv", "");
      FileManifest::ListExternalFiles();
      g_fileList->AppendLine(kFileListEnd);
      SignFileList();
      if (!settings.writeFailed && ResultPackager::Compress(tempFolder, outputPath)) {
        ResultPackager::Report(outputPath);
      }
    }
    ::RemoveDirectoryA(tempFolder.c_str());
  }
  if (settings.writeFailed && !settings.silent) {
    const std::string text = LocalText(
        "WriteError", "Message", "Check that destination directory\nis not read-only or full.");
    const std::string title = LocalText("WriteError", "Title", "Brindle Tool Write Error");
    ::MessageBoxA(static_cast<HWND>(settings.mainWindow), text.c_str(), title.c_str(), MB_OK);
  }
  return stepTotal;
}
