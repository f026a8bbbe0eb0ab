/*
 * The host's tagged allocator. Modules take scratch blocks with mallocN and
 * return them with freeN; the host counts the blocks still held per tag, so
 * that a frame can be checked for returning everything it took.
 */
#ifndef SEQFX_ALLOC_H
#define SEQFX_ALLOC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A block of len bytes, or null when the memory cannot be had. The tag is a
 * short constant string naming the block; it must outlive the block. */
void *mallocN(size_t len, const char *tag);
/* Returns a block taken with mallocN; null is ignored. */
void freeN(void *block);

/* Host-side bookkeeping. */
/* Blocks still held with this tag (all blocks when tag is null). */
int mallocN_blocks_held(const char *tag);
/* Bytes still held in all blocks. */
size_t mallocN_bytes_held(void);
/* Makes the n-th mallocN call from now on (1 = the next) and every later
 * one fail, as if memory had run out; 0 turns failures off. */
void mallocN_fail_from(int n);

#ifdef __cplusplus
}
#endif

#endif
