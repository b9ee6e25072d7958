// Shared pieces of the stream files: the checks every operation starts
// with, the encoding decision and the read-ahead state.
#ifndef KW_PFA_STREAM_INTERNAL_H
#define KW_PFA_STREAM_INTERNAL_H

#include <cstdint>

#include "keelwork/pfastream.h"
#include "pfa/pfa_internal.h"

namespace kw::pfa::stream {

// The file the stream operations act on: `f` itself or, along a chain of
// substitutes, the last one. Null for an invalid record.
vex_file *target(vex_file *f);

// The code every operation starts with: 0 when `*f` (after following
// substitutes) is a valid, open file that is not a directory; else 11 or
// 10.
int check_open(vex_file **f);

// A zeroed stream record and its release (converters and buffers too).
pfa_stream *new_stream();
void free_stream(pfa_stream *l);

// Mode letters: 'b' in the mode, the direction bits of pfa_stream.
bool mode_is_binary(const char *mode);
int mode_bits(const char *mode);

// Resolves -2, -1 and 0 to a concrete encoding.
int32_t normalize(int32_t code);
// The encoding of a byte-order mark at the start of `bytes`, with its
// length in `*bom_len`; -4 for none.
int32_t encoding_from_bom(const unsigned char *bytes, int n, int *bom_len);

// Decides the encoding of `l` before its first read (`for_write` false) or
// write. 0, or the failing operation's code.
int decide(vex_file *f, pfa_stream *l, bool for_write);
// Whether the decided stream converts text.
inline bool transcoding(const pfa_stream *l) { return l->file_converter != nullptr; }
// Discards read-ahead and converter state (before positioning).
void discard_read_ahead(pfa_stream *l);

// Whether line reads hold back a character cut by the end of the buffer.
bool holds_partial_chars(const pfa_stream *l);

// Converts and writes what a transcoding stream still holds (a character
// the last write left incomplete becomes the substitution character); 0 or
// the write's code.
int flush_pending_output(vex_file *f, pfa_stream *l);
// Tells the directory cache that a writing open changed `f`'s directory.
void invalidate_dir_cache(vex_file *f);

}  // namespace kw::pfa::stream

#endif  // KW_PFA_STREAM_INTERNAL_H
