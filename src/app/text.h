// Text helpers every subsystem shares. Texts are std::string of ANSI bytes;
// every search respects the double-byte characters of the ANSI code page: an
// occurrence that would begin on the second byte of a character never counts.
// In UTF-8 no byte of a multi-byte character is ASCII, so the searches for
// ASCII texts hold there byte by byte.
#pragma once

#include <cstddef>
#include <string>

// Marker of every lookup that has nothing to give.
extern const char* const notAvailable;  // "na"
// Marker of an optional field that is not given.
extern const char* const notGiven;      // "none"

// Byte position of the first occurrence of `what` in `text` at or after
// `from` (which must be a character boundary), or std::string::npos.
std::size_t findText(const std::string& text, const std::string& what, std::size_t from = 0);

// Splits at the first "&": field before it, rest after it. Without "&" the
// field is empty and the rest is the whole text.
void splitField(const std::string& text, std::string& field, std::string& rest);
// Takes the next field off the front of `rest` and returns it.
std::string takeField(std::string& rest);

// Replaces every occurrence of `what`, searching on after each replacement.
std::string replaceEach(const std::string& text, const std::string& what, const std::string& with);

// Whether the last character (a double-byte character counting as one) is "\".
bool endsWithBackslash(const std::string& text);
// The text with "\" appended unless its last character is "\" already;
// an empty text becomes "\".
std::string withTrailingBackslash(const std::string& text);
// Byte position of the start of the last character, npos for an empty text.
// Where texts are UTF-8 (textsAreUtf8) a character is a whole UTF-8 sequence.
std::size_t lastCharacterStart(const std::string& text);
// Whether the text is well-formed UTF-8: no stray or missing continuation
// byte, no overlong form, no surrogate, nothing above U+10FFFF. Windows would
// turn what is not into U+FFFD, its decoder taking along bytes after it (as
// Wine's does), and act on a name the text never held.
bool wellFormedUtf8(const std::string& text);
// The length of the well-formed UTF-8 character at `at`, 0 when the bytes
// there are not one: no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t utf8CharacterLength(const std::string& bytes, std::size_t at);

// Whether a name that is appended to a base path or key after a "\" names
// something below that base: false for an empty name, and for one with a part
// between "\" or "/" that holds only blanks and dots. Windows drops trailing
// blanks and dots and reads "." and ".." as the base itself and its parent, and
// an empty name makes RegDeleteKeyA delete the key it was given: every such
// name would widen a delete to the base.
bool namesItemBelow(const std::string& name);

// Whether Windows would open the name as a device rather than a file:
// "\\.\" names (pipes, mailslots, \\.\PhysicalDrive0, \\.\C:, COM ports),
// "\\?\" and "\??\" names that are not a drive path, a share ("UNC\") or a
// volume's path ("Volume{...}\") (\\?\GLOBALROOT\Device\..., \\?\PhysicalDrive0),
// and pipes and mailslots of another machine ("\\server\pipe\x"); "/" is
// "\" to Windows, and letters count in any case. Opening a pipe connects to
// its server before any check could refuse it, and an elevated hostcmd reads
// a disk's raw sectors as a FILE_TYPE_DISK file.
bool namesDevice(const std::string& name);

// Whether a text is a decimal whole number (optional sign, digits, nothing
// else) that fits an int; the value goes to `value`.
bool parseDecimal(const std::string& text, int& value);
