#pragma once
// The developers' trace channel of the directory classes. It is switched off
// in every build we ship: a trace call then formats nothing, opens nothing
// and writes nothing. Defining BRINDLE_TRACE_STDERR at compile time sends the
// lines to stderr instead, for debugging only; the product never sets it.

#include <cstdarg>

class TraceLog {
 public:
#ifdef BRINDLE_TRACE_STDERR
  static constexpr bool kEnabled = true;
#else
  static constexpr bool kEnabled = false;
#endif

  // The one process-wide channel. It needs no start-up and no clean-up.
  static TraceLog& Instance();

  // printf-style; `source` is the caller's file name, `line` its line.
  void Trace(const char* source, int line, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 4, 5)))
#endif
      ;

 private:
  TraceLog() = default;
  void Emit(const char* source, int line, const char* format, va_list args);
};

inline void TraceLog::Trace(const char* source, int line, const char* format, ...) {
  // Off: return before va_start, so no argument is even looked at.
  if (!kEnabled) return;
  va_list args;
  va_start(args, format);
  Emit(source, line, format, args);
  va_end(args);
}

// TRACE("%s returned %#x", "pObj->Get(...)", hr) with the caller's file and line.
#define BRINDLE_TRACE(...) TraceLog::Instance().Trace(__FILE__, __LINE__, __VA_ARGS__)
