// Times the manifest's end-of-run sweep over a result folder of N small
// files (500 per folder), half of them listed beforehand, so that the sweep
// both skips listed files and lists the others. Run it for two sizes: the
// time per file must stay flat.
//
//   manifest_sweep_bench FOLDER N...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "pack/file_manifest.h"
#include "run/run_settings.h"

namespace fs = std::filesystem;

namespace {

std::string Relative(int i) {
  return "f" + std::to_string(i / 500) + "\\file" + std::to_string(i) + ".log";
}

double SweepSeconds(const std::string& root, int files) {
  fs::remove_all(root);
  fs::create_directories(root);
  for (int i = 0; i < files; ++i) {
    const fs::path path =
        fs::path(root) / ("f" + std::to_string(i / 500)) / ("file" + std::to_string(i) + ".log");
    if (i % 500 == 0) fs::create_directories(path.parent_path());
    std::ofstream(path) << "line " << i << "\r\n";
  }
  LogFile fileList(root + "/FileList.csv");
  fileList.AppendLine("<FILE_LIST_START>");
  FileManifest manifest(&fileList, root);
  for (int i = 0; i < files; i += 2) manifest.AddFile(Relative(i), "");
  const auto start = std::chrono::steady_clock::now();
  manifest.ListExternalFiles();
  const auto stop = std::chrono::steady_clock::now();
  fs::remove_all(root);
  if (Settings().writeFailed) {
    std::fprintf(stderr, "write failure while sweeping\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(stop - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: manifest_sweep_bench FOLDER N...\n");
    return 2;
  }
  double firstPerFile = 0;
  for (int a = 2; a < argc; ++a) {
    const int files = std::atoi(argv[a]);
    const double seconds = SweepSeconds(argv[1], files);
    const double perFile = seconds / files * 1e6;
    if (a == 2) firstPerFile = perFile;
    std::printf("files=%d sweep=%.3fs per_file=%.2fus ratio_to_first=%.2f\n", files, seconds,
                perFile, perFile / firstPerFile);
  }
  return 0;
}
