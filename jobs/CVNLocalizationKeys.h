// The localisation keys whose texts are formats, with the placeholders each
// text must have, and the keys that reach the look-up from outside the code
// (the engine's exception reasons). The key check reads both lists.
#pragma once

#include "jobs/CVNLocalization.h"

// A format key and the placeholders its texts take, written as a format.
struct CVNFormatKey {
  const char* key;
  const char* placeholders;
};

// Every key that is filled after look-up. A key with placeholders of its own
// must be listed here; so must a key whose text has placeholders the key lacks.
inline constexpr CVNFormatKey CVNFormatKeys[] = {
    {CVN_KEY("%1$@ %2$@"), "%1$@ %2$@"},
    {CVN_KEY("%1$@ and the other %2$lu items"), "%1$@ %2$lu"},
    {CVN_KEY("%1$@ (%3$@ files, %2$@ directories)"), "%1$@ %2$@ %3$@"},
    // The summary's count phrases, each agreeing with its count.
    {CVN_KEY("%1$@ files"), "%1$@"},
    {CVN_KEY("%1$@ directories"), "%1$@"},
    {CVN_KEY("%1$qu bytes"), "%1$qu"},
    {CVN_KEY("Unable to resolve symbolic link %@"), "%@"},
    // The password sheet's lines naming the archive and the entry.
    {CVN_KEY("パスワード入力:シート本文:アーカイブ"), "%@"},
    {CVN_KEY("パスワード入力:シート本文:項目"), "%@"},
    // A file-system failure: the C library's description and the errno.
    {CVN_KEY("%1$@ (errno = %2$d)"), "%1$@ %2$d"},
    // A log row as one line: its message, then its argument.
    {CVN_KEY("%1$@: %2$@"), "%1$@ %2$@"},
    // The update check's request address; receives the bundle version.
    {CVN_KEY("アップデート確認URL"), "%@"},
};

// Exception reasons raised by the engine and shown through the look-up, and
// the names that stand in for the reason of an exception raised without one.
inline constexpr const char* CVNEngineReasonKeys[] = {
    CVN_KEY("Cancelled"),
    CVN_KEY("RVDiskFullException"),
    CVN_KEY("Disk Full"),
    CVN_KEY("RVOutOfMemoryException"),
    CVN_KEY("RVIOHandleEndOfBytesException"),
};
