#include "trace/trace_log.h"

#include <cstdio>

TraceLog& TraceLog::Instance() {
  static TraceLog log;
  return log;
}

void TraceLog::Emit(const char* source, int line, const char* format, va_list args) {
  if (!kEnabled) return;
  // One fprintf per piece; stderr is unbuffered, so lines of two threads may
  // interleave, which a developer's channel can live with.
  std::fprintf(stderr, "%s(%d): ", source, line);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
}
