#pragma once
// The signature of scripts and of FileList.csv: the CRC-32 of the text,
// written as "_" and eight letters directly before the first and before the
// last ">" of the text. It detects changes; it does not authenticate anyone.
//
// A check: stored = ReadSignature(text); StripSignature(&text);
// computed = TextCrc(text); valid exactly when stored == computed.
// Signing: InsertSignature(&text, TextCrc(text)).

#include <cstdint>
#include <string>

// The file's content up to its first zero byte. False (text "") when the
// path is empty or the file cannot be read.
bool ReadTextFile(std::string* text, const std::string& path);

// Writes the text's bytes over the start of an existing file, which is
// neither created nor truncated. False when text or path is empty, or the
// file cannot be opened for writing or fully written.
bool WriteTextFile(const std::string& text, const std::string& path);

// The decoded check value of the token before the first ">", or 0 when no
// token is in place there or it holds no hexadecimal digit.
uint32_t ReadSignature(const std::string& text);

// Removes both tokens. False, text unchanged, when the token before the
// first ">" is not in place, or the one before the last ">" is not the same
// token (a signed text always carries two identical ones).
bool StripSignature(std::string* text);

// zlib's CRC-32 of all bytes of the text.
uint32_t TextCrc(const std::string& text);

// Inserts the token for `value` before the last and before the first ">".
// False when the text has no ">" after its first character and no second
// ">" after that.
bool InsertSignature(std::string* text, uint32_t value);

// The alphabet and its inverse, in place, character by character. Encoding
// turns hexadecimal digits (upper case) into letters, decoding letters back
// into digits; any other character becomes "X".
void EncodeSignature(std::string* token);
void DecodeSignature(std::string* token);

// The whole check on a copy of the text.
bool CheckSignature(const std::string& text);
