/*
 * quillmar-ranvique: compare two image files on disk.
 *
 * Seven plain C functions. Every comparison reads both files, decodes them to
 * 8-bit RGBA (JPEG, PNG, BMP, PSD, TGA, GIF, Radiance HDR, Softimage PIC and
 * binary PGM/PPM, recognised from the content, never from the name), computes,
 * frees what it allocated and returns. The library holds no handles, files or
 * heap memory between calls.
 *
 * Paths are narrow (8-bit) NUL-terminated strings handed unchanged to the
 * runtime's file functions.
 *
 * Failure is told by a sentinel result (-1.0f, NULL or 0). The same call then
 * leaves one line of English in the last-error text (ranvique_last_error).
 *
 * Threads: comparisons may run on several threads at once and give correct
 * results. The last-error text and the statistics text are each one buffer for
 * the whole process, unguarded: concurrent calls may overwrite each other's
 * texts (a reader never runs past the end of either buffer). A host that needs
 * each message to belong to its own call serialises its calls and copies the
 * text before the next one.
 */
#ifndef RANVIQUE_H
#define RANVIQUE_H

#ifdef __cplusplus
extern "C" {
#endif

/* RANVIQUE_API marks the exported functions: dllexport while the DLL is being
 * built, dllimport for a Windows host, default visibility on ELF (the library
 * itself builds with hidden visibility). */
#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(RANVIQUE_BUILDING)
#    define RANVIQUE_API __declspec(dllexport)
#  else
#    define RANVIQUE_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#  define RANVIQUE_API __attribute__((visibility("default")))
#else
#  define RANVIQUE_API
#endif

#define RANVIQUE_VERSION_MAJOR 0
#define RANVIQUE_VERSION_MINOR 1
#define RANVIQUE_VERSION_PATCH 0

/*! ranvique_init():
 *  Empties the last-error text. The statistics text is left alone.
 *  Optional: no export needs it first; may be called any number of times.
 *  @return 1, always. */
RANVIQUE_API int ranvique_init(void);

/*! ranvique_cleanup():
 *  Empties the last-error text and the statistics text. Releases nothing,
 *  since the library holds nothing between calls. Optional, repeatable;
 *  every export works afterwards as after loading. */
RANVIQUE_API void ranvique_cleanup(void);

/*! ranvique_last_error():
 *  @return the message of the latest failure, or "" when none was recorded
 *  since the text was last emptied. Never NULL; the same address on every call,
 *  valid while the module is loaded. The library owns the text: do not free
 *  or write it; copy it before the next call if it must be kept.
 *  Emptied by ranvique_init, ranvique_cleanup and as each pixel comparison
 *  (similarity, stats, diff) starts; ranvique_perceptual never empties it. */
RANVIQUE_API const char *ranvique_last_error(void);

/*! ranvique_similarity(primary, secondary):
 *  Pixel similarity of two image files on the primary's canvas: the secondary
 *  is resampled to the primary's size when the sizes differ. The score is
 *  100 * (1 - mean over pixels of (|dR|+|dG|+|dB|+|dA|) / 1020).
 *  @return the score, 0.0f to 100.0f (exactly 100.0f for identical pixels),
 *          or -1.0f on failure (a NULL path: "Null image path or metrics
 *          pointer"; a file that cannot be opened or decoded:
 *          "Failed to load '<path>': <reason>").
 *  On success the last-error text is empty. */
RANVIQUE_API float ranvique_similarity(const char *primary_path, const char *secondary_path);

/*! ranvique_stats(primary, secondary):
 *  The same comparison as ranvique_similarity, as one line of JSON:
 *  {"identical":false,"similarity":97.50,"different_pixels":7,"total_pixels":200}
 *  identical: same size and byte-equal RGBA. different_pixels: pixels whose
 *  largest channel difference exceeds 2. total_pixels: primary width * height.
 *  @return a pointer to the library's statistics text, or NULL on failure
 *          (message in ranvique_last_error). Always the same address; the text
 *          stays until the next successful ranvique_stats or ranvique_cleanup.
 *          A failed call leaves the previous text in place. Do not free it. */
RANVIQUE_API const char *ranvique_stats(const char *primary_path, const char *secondary_path);

/*! ranvique_diff(primary, secondary, output):
 *  Writes a difference image of the primary's size to output_path: pixels
 *  whose channels all differ by at most 2 as an opaque faded grey copy of the
 *  primary (levels 130 to 232), all others opaque red (255, 0, 0).
 *  The format follows the output path's last extension, case-insensitively:
 *  .jpg/.jpeg give JPEG (quality 90), .bmp gives BMP, anything else PNG.
 *  Both inputs are decoded and closed before the output is opened, so the
 *  output may replace an input file.
 *  @return 1 when the file was written, 0 on failure (a NULL or empty output
 *          path, tested first: "Null or empty output image path"; a NULL input
 *          path; a load failure; "Failed to write diff output file '<path>'").
 *  On success the last-error text is empty. */
RANVIQUE_API int ranvique_diff(const char *primary_path, const char *secondary_path,
                               const char *output_path);

/*! ranvique_perceptual(first, second):
 *  Perceptual score: the share of agreeing bits of the two images' 64-bit
 *  DCT hashes, each image sampled on its own 32 x 32 grid (any two sizes
 *  compare; nothing is resampled). Survives resizing and re-encoding.
 *  The second file is opened only when the first was hashed.
 *  @return 100 - 1.5625 * (differing bits), 0.0f to 100.0f, or -1.0f on
 *          failure (a NULL path fails as a file that cannot be opened).
 *  Never empties the last-error text: after success an earlier message stays
 *  readable. */
RANVIQUE_API float ranvique_perceptual(const char *first_path, const char *second_path);

#ifdef __cplusplus
}
#endif

#endif /* RANVIQUE_H */
