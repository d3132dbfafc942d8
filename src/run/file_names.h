#pragma once
// The rules for names and paths that come from a script: one test for what
// may name a file of the result folder, the safe name used instead, the
// free name beside a file written earlier, and ".." and "." resolved before
// a path is used.

#include <functional>
#include <string>

// Why `name` cannot name a file of the result folder ("" when it can): a
// path of its own (separators, ":", ".." alone), an empty name, a character no
// file name may hold, a trailing dot or space (which Windows drops), a
// device name (CON, NUL.txt, COM1.a.b...), or more than 255 characters.
std::string FileNameProblem(const std::string& name);

// `name` when FileNameProblem finds nothing; else a name that has none of
// its problems: each character no file name may hold (separators and ":"
// included) becomes "_", a trailing dot or space "_" (so ".." is "._"), a
// device name gets a leading "_", an empty name is "_", and a name longer
// than 255 characters is cut.
std::string SafeFileName(const std::string& name);

// "<title> (2)<ext>", "<title> (3)<ext>"...: the first that `taken` does
// not answer for (`name` itself is not tried). The extension is the text
// from the last "." on.
std::string FreeFileName(const std::string& name,
                         const std::function<bool(const std::string&)>& taken);

// The path with "." and ".." resolved and runs of separators ("\\" or "/",
// both of which Windows takes) made one "\\". ".." never climbs above the
// root of an absolute path ("C:\\", "\\\\server\\share", "\\"); a relative
// path keeps the ".." it cannot resolve. A component that ends in spaces
// counts as what Windows reads it as ("..  " is ".."). A trailing separator
// stays.
std::string NormalisePath(const std::string& path);
