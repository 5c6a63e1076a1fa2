// Rewrites one file or folder name so that Windows accepts it and the target
// encoding represents it: reserved names, characters and device names escaped,
// a final space and period escaped, unrepresentable code units formatted.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/CVNStringEncoding.h"

// Configured once, then only read: every const member may be called from
// several threads at the same time.
class CVNPathComponentEncoder {
 public:
  // UTF-8, fullwidth off, no escape format.
  CVNPathComponentEncoder() = default;

  // Every name the encoder returns is representable in this encoding.
  CVNStringEncoding encoding() const { return _encoding; }
  void setEncoding(CVNStringEncoding encoding) { _encoding = encoding; }
  // Whether reserved ASCII characters become their fullwidth forms where the
  // encoding represents them.
  bool triesConvertingToFullwidth() const { return _triesConvertingToFullwidth; }
  void setTriesConvertingToFullwidth(bool tries) { _triesConvertingToFullwidth = tries; }
  // printf-style, applied to one UTF-16 code unit: "_" or "(U+%04X)". At most
  // one conversion, of an unsigned int (d i o u x X, with flags, width and
  // precision), "%%" aside; anything else raises RVInternalInconsistencyException.
  // None removes the characters that would be formatted.
  const std::optional<std::string>& characterEscapeFormat() const { return _characterEscapeFormat; }
  void setCharacterEscapeFormat(std::optional<std::string> format);

  // Encodes one component (no separators). Length limits are the caller's.
  std::u16string encodePathComponentForWindowsFileSystem(std::u16string_view component) const;

  // The pipeline's steps, in the order they run after canonical composition
  // and turning ":" into "/".
  // "." and ".." go through the whole-text rule.
  std::u16string _escapeReservedFileNamesForWindowsFileSystem(std::u16string_view text) const;
  // U+0000...U+001F, U+007F and < > : " / \ | ? * go through the character rule.
  std::u16string _escapeReservedCharactersForWindowsFileSystem(std::u16string_view text) const;
  // A first "."-separated part that upper-cases to CON, PRN, AUX, NUL, COM1-9 or
  // LPT1-9 goes through the whole-text rule.
  std::u16string _escapeReservedDeviceNamesForWindowsFileSystem(std::u16string_view text) const;
  // One final space, then one final period, go through the whole-text rule.
  std::u16string _escapeInvalidFileNamesForWindowsFileSystem(std::u16string_view text) const;
  // Each code unit the encoding cannot represent on its own (surrogates
  // included) goes through the format rule.
  std::u16string _formatAllUnencodableCharacters(std::u16string_view text) const;

  // The replacement rules.
  // The escape format applied to the unit, or "" without a format.
  std::u16string _formatCharacter(char16_t unit) const;
  // The unit's fullwidth form when that is on and representable, else the format rule.
  std::u16string _convertCharacterToFullwidthOrFormatCharacter(char16_t unit) const;
  // "(" + text + ")".
  std::u16string _bracketStringWholly(std::u16string_view text) const;
  // The whole text in fullwidth forms when that is on and all of it is
  // representable, else the bracket rule on the text as given.
  std::u16string _convertAllCharactersToFullwidthOrBracketStringWholly(
      std::u16string_view text) const;

 private:
  CVNStringEncoding _encoding = CVNStringEncoding::UTF8;
  bool _triesConvertingToFullwidth = false;
  std::optional<std::string> _characterEscapeFormat;
};
