/* The method slots of a location type and their calling sequences, written
 * once as X-macro lists; pfaloc.h generates the slot and sequence enums,
 * the typed method pointers and the call wrappers from them.
 *
 * PFALOC_SEQUENCE_LIST(X): X(code, NAME, method_params, call_params, args,
 * after)
 * where NAME follows "PLM_CALL_"; the letters mean F a vex_file, L the
 * stream record of the file before it, I an int, P a pointer, S a buffer
 * size. `method_params` is the method's parameter list; `call_params` that
 * of its call wrapper, which takes no stream (it passes the file's own)
 * and always takes the file whose location is asked first (FLFIIIPPP
 * alone takes the caller's stream, which may be null); `args` the
 * arguments the wrapper passes on; `after` what it does once the method
 * has answered.
 *
 * PFALOC_SLOT_LIST(X): X(slot, Method, NAME, substitute) where NAME is the
 * calling sequence and `substitute` is 1 when a call on a file that has a
 * substitute goes to the substitute.
 */
#ifndef KEELWORK_PFALOC_SLOTS_H
#define KEELWORK_PFALOC_SLOTS_H

/* clang-format off */
#define PFALOC_SEQUENCE_LIST(X) \
  X(0, F, (vex_file *f), (vex_file *f), (f), ()) \
  X(1, FF, (vex_file *f, vex_file *a1), (vex_file *f, vex_file *a1), (f, a1), ()) \
  X(2, FFP, (vex_file *f, vex_file *a1, void *a2), (vex_file *f, vex_file *a1, void *a2), (f, a1, a2), ()) \
  X(3, FI, (vex_file *f, int a1), (vex_file *f, int a1), (f, a1), ()) \
  X(4, FII, (vex_file *f, int a1, int a2), (vex_file *f, int a1, int a2), (f, a1, a2), ()) \
  X(5, FIP, (vex_file *f, int a1, void *a2), (vex_file *f, int a1, void *a2), (f, a1, a2), ()) \
  X(6, FL, (vex_file *f, pfa_stream *l1), (vex_file *f), (f, PFALOC_STREAM_OF(f)), ()) \
  X(7, FLFL, (vex_file *f, pfa_stream *l1, vex_file *a2, pfa_stream *l3), (vex_file *f, vex_file *a2), (f, PFALOC_STREAM_OF(f), a2, PFALOC_STREAM_OF(a2)), ()) \
  X(8, FLFLPP, (vex_file *f, pfa_stream *l1, vex_file *a2, pfa_stream *l3, void *a4, void *a5), (vex_file *f, vex_file *a2, void *a4, void *a5), (f, PFALOC_STREAM_OF(f), a2, PFALOC_STREAM_OF(a2), a4, a5), ()) \
  X(9, FLI, (vex_file *f, pfa_stream *l1, int a2), (vex_file *f, int a2), (f, PFALOC_STREAM_OF(f), a2), ()) \
  X(10, FLP, (vex_file *f, pfa_stream *l1, void *a2), (vex_file *f, void *a2), (f, PFALOC_STREAM_OF(f), a2), ()) \
  X(11, FLPI, (vex_file *f, pfa_stream *l1, void *a2, int a3), (vex_file *f, void *a2, int a3), (f, PFALOC_STREAM_OF(f), a2, a3), ()) \
  X(12, FLPII, (vex_file *f, pfa_stream *l1, void *a2, int a3, int a4), (vex_file *f, void *a2, int a3, int a4), (f, PFALOC_STREAM_OF(f), a2, a3, a4), ()) \
  X(13, FLPIII, (vex_file *f, pfa_stream *l1, void *a2, int a3, int a4, int a5), (vex_file *f, void *a2, int a3, int a4, int a5), (f, PFALOC_STREAM_OF(f), a2, a3, a4, a5), ()) \
  X(14, FLPPI, (vex_file *f, pfa_stream *l1, void *a2, void *a3, int a4), (vex_file *f, void *a2, void *a3, int a4), (f, PFALOC_STREAM_OF(f), a2, a3, a4), ()) \
  X(15, FLPPPI, (vex_file *f, pfa_stream *l1, void *a2, void *a3, void *a4, int a5), (vex_file *f, void *a2, void *a3, void *a4, int a5), (f, PFALOC_STREAM_OF(f), a2, a3, a4, a5), ()) \
  X(16, FLPPIPII, (vex_file *f, pfa_stream *l1, void *a2, void *a3, int a4, void *a5, int a6, int a7), (vex_file *f, void *a2, void *a3, int a4, void *a5, int a6, int a7), (f, PFALOC_STREAM_OF(f), a2, a3, a4, a5, a6, a7), ()) \
  X(17, FP, (vex_file *f, void *a1), (vex_file *f, void *a1), (f, a1), ()) \
  X(18, FPP, (vex_file *f, void *a1, void *a2), (vex_file *f, void *a1, void *a2), (f, a1, a2), ()) \
  X(19, FPPP, (vex_file *f, void *a1, void *a2, void *a3), (vex_file *f, void *a1, void *a2, void *a3), (f, a1, a2, a3), ()) \
  X(20, FPPS, (vex_file *f, void *a1, void *a2, size_t a3), (vex_file *f, void *a1, void *a2, size_t a3), (f, a1, a2, a3), ()) \
  X(21, PP, (void *a0, void *a1), (vex_file *f, void *a0, void *a1), (a0, a1), ()) \
  X(22, PPP, (void *a0, void *a1, void *a2), (vex_file *f, void *a0, void *a1, void *a2), (a0, a1, a2), ()) \
  X(23, PPPP, (void *a0, void *a1, void *a2, void *a3), (vex_file *f, void *a0, void *a1, void *a2, void *a3), (a0, a1, a2, a3), ()) \
  X(24, PPPPP, (void *a0, void *a1, void *a2, void *a3, void *a4), (vex_file *f, void *a0, void *a1, void *a2, void *a3, void *a4), (a0, a1, a2, a3, a4), ()) \
  X(25, FPIPPPP, (vex_file *f, void *a1, int a2, void *a3, void *a4, void *a5, void *a6), (vex_file *f, void *a1, int a2, void *a3, void *a4, void *a5, void *a6), (f, a1, a2, a3, a4, a5, a6), ()) \
  X(26, FFIIIPP, (vex_file *f, vex_file *a1, int a2, int a3, int a4, void *a5, void *a6), (vex_file *f, vex_file *a1, int a2, int a3, int a4, void *a5, void *a6), (f, a1, a2, a3, a4, a5, a6), ()) \
  X(27, FPPPP, (vex_file *f, void *a1, void *a2, void *a3, void *a4), (vex_file *f, void *a1, void *a2, void *a3, void *a4), (f, a1, a2, a3, a4), ()) \
  X(28, P, (void *a0), (vex_file *f, void *a0), (a0), ()) \
  X(29, FLPP, (vex_file *f, pfa_stream *l1, void *a2, void *a3), (vex_file *f, void *a2, void *a3), (f, PFALOC_STREAM_OF(f), a2, a3), ()) \
  X(30, FIPP, (vex_file *f, int a1, void *a2, void *a3), (vex_file *f, int a1, void *a2, void *a3), (f, a1, a2, a3), ()) \
  X(31, FIPPP, (vex_file *f, int a1, void *a2, void *a3, void *a4), (vex_file *f, int a1, void *a2, void *a3, void *a4), (f, a1, a2, a3, a4), ()) \
  X(32, FLFIIIPPP, (vex_file *f, pfa_stream *l1, vex_file *a2, int a3, int a4, int a5, void *a6, void *a7, void *a8), (vex_file *f, pfa_stream *l1, vex_file *a2, int a3, int a4, int a5, void *a6, void *a7, void *a8), (f, PFALOC_CALLER_STREAM(l1), a2, a3, a4, a5, a6, a7, a8), (pfaloc_check_lent(l1, "pfaloc_call_FLFIIIPPP"))) \
  X(33, FFPPPP, (vex_file *f, vex_file *a1, void *a2, void *a3, void *a4, void *a5), (vex_file *f, vex_file *a1, void *a2, void *a3, void *a4, void *a5), (f, a1, a2, a3, a4, a5), ()) \
  X(34, FPPPPP, (vex_file *f, void *a1, void *a2, void *a3, void *a4, void *a5), (vex_file *f, void *a1, void *a2, void *a3, void *a4, void *a5), (f, a1, a2, a3, a4, a5), ()) \
  X(35, FIIIPP, (vex_file *f, int a1, int a2, int a3, void *a4, void *a5), (vex_file *f, int a1, int a2, int a3, void *a4, void *a5), (f, a1, a2, a3, a4, a5), ())

#define PFALOC_SLOT_LIST(X) \
  X(0,  PfaDeviceIdx,               F,         0) \
  X(1,  PfaHostIdx,                 F,         0) \
  X(2,  PfaPathIdx,                 F,         0) \
  X(3,  PfaClaimLocation,           FPPP,      0) \
  X(4,  PfaGetLocationString,       FPPS,      0) \
  X(5,  PfaGetNeutralLocation,      FPPS,      0) \
  X(6,  PfaFgetc,                   FL,        1) \
  X(7,  PfaUngetc,                  FLI,       1) \
  X(8,  PfaDbgShowStream,           FL,        1) \
  X(9,  PfaOpen,                    FLPIII,    1) \
  X(10, PfaFopen,                   FLPPIPII,  1) \
  X(11, PfaCloseFile,               FL,        0) \
  X(12, PfaSetbuf,                  FLP,       1) \
  X(13, PfaSetvbuf,                 FLPII,     1) \
  X(14, PfaGetFilePosition,         FLP,       1) \
  X(15, PfaSetFilePosition,         FLP,       1) \
  X(16, PfaRewindFile,              FL,        1) \
  X(17, PfaUnwindFile,              FL,        1) \
  X(18, PfaReadFile,                FLPPI,     1) \
  X(19, PfaFseek,                   FLPIII,    1) \
  X(20, PfaFgets,                   FLPPI,     1) \
  X(21, PfaWriteFile,               FLPII,     1) \
  X(22, PfaFputs,                   FLP,       1) \
  X(23, PfaCopyThruCookie,          FLFLPP,    1) \
  X(24, PfaFlushFile,               FL,        1) \
  X(25, PfaDeleteFile,              F,         0) \
  X(26, PfaTruncateFile,            FLP,       1) \
  X(27, PfaMakeDir,                 F,         0) \
  X(28, PfaRemoveDir,               F,         0) \
  X(29, PfaMoveDir,                 FF,        0) \
  X(30, PfaDirOpen,                 FLPPPI,    1) \
  X(31, PfaDirClose,                FL,        1) \
  X(32, PfaDirReadNext,             FLPPPI,    1) \
  X(33, PfaDirCacheEligible,        FP,        1) \
  X(34, PfaDirCacheInvalid,         FLP,       1) \
  X(35, PfaAccess,                  FII,       0) \
  X(36, PfaGetFileTime,             FPPP,      0) \
  X(37, PfaGetMode,                 FP,        0) \
  X(38, PfaGetFileSize,             FP,        0) \
  X(39, PfaGetOwners,               FPPP,      0) \
  X(40, PfaChmod,                   FI,        0) \
  X(41, PfaChown,                   FPP,       0) \
  X(42, PfaGetAvailBlocks,          FPP,       0) \
  X(43, PfaMakeHidden,              F,         0) \
  X(44, PfaRenameFile,              FPP,       0) \
  X(45, PfaTopLevelFolders,         PP,        0) \
  X(46, PfaGetUIInfo,               FFPPPP,    0) \
  X(47, PfaTopParentName,           FP,        0) \
  X(48, PfaMakeParent,              FF,        0) \
  X(49, PfaIsFolder,                F,         0) \
  X(50, PfaGetBrowserConfigVals,    PPP,       0) \
  X(51, PfaGetBrowserShortcuts,     PPPPP,     0) \
  X(52, PfaDirHasDetailConfigs,     FPP,       0) \
  X(53, PfaDirGetDetailConfigs,     FPPPP,     0) \
  X(54, PfaDirSetDetailConfig,      FPP,       0) \
  X(55, PfaDirFreeDetailConfigData, P,         0) \
  X(56, PfaDirAllowedDispModes,     FPP,       0) \
  X(57, PfaDirNumDetailColumns,     FP,        0) \
  X(58, PfaDirGetColumnInfo,        FPIPPPP,   0) \
  X(59, PfaDirGetEntryInfo,         FLFIIIPPP, 1) \
  X(60, PfaDirRlsEntryInfo,         FP,        1) \
  X(61, PfaAltNameInDir,            FPPP,      0) \
  X(62, PfaDirCanOpenSubset,        F,         0) \
  X(63, PfaQuickSubclassCheck,      FP,        0) \
  X(64, PfaCaseSensitiveLoc,        F,         0) \
  X(65, PfaIsVirtualFolder,         F,         0) \
  X(66, PfaLibrarySearch,           FIPPP,     0) \
  X(67, PfaLocUGCTagControl,        FIP,       0) \
  X(68, PfaLocUgcTagHint,           FIP,       0) \
  X(69, PfaGetFileVersion,          FIPP,      0) \
  X(70, PfaOpenTransaction,         FIP,       0) \
  X(71, PfaAddTransactionHints,     FIP,       0) \
  X(72, PfaTestTransaction,         FIPPP,     0) \
  X(73, PfaCloseTransaction,        FIPP,      0) \
  X(74, PfaTxnMsgGetInfo,           PPPP,      0) \
  X(75, PfaTxnMsgFree,              P,         0) \
  X(76, PfaGetNeutralData,          FIPPP,     0) \
  X(77, PfaPutNeutralData,          FIP,       0) \
  X(78, PfaLocDisallowsTARVO,       F,         0) \
  X(79, PfaGetPropertiesURL,        FP,        0) \
  X(80, PfaLocUsesInstIndex,        F,         0) \
  X(81, PfaLocSupportsMethod,       FI,        0) \
  X(82, PfaGetTransactionOwner,     FF,        0) \
  X(83, PfaSetContentHints,         F,         0) \
  X(84, PfaFree,                    F,         0) \
  X(85, PfaLocIsTransient,          F,         0) \
  X(86, PfaIsRemoteMounted,         F,         0) \
  X(87, PfaGet2ndContentMsg,        FPPPPP,    0) \
  X(88, PfaLocGetVersioning,        F,         0) \
  X(89, PfaLocQuickUGPartCheck,     FP,        0) \
  X(90, PfaLocQuickMarkupModel,     FP,        0) \
  X(91, PfaGetContentNames,         FPPPP,     0) \
  X(92, PfaDirGetCategoriesForType, FIIIPP,    0) \
  X(93, PfaGetProperty,             FIP,       0) \
  X(94, PfaWildcardSearch,          FPP,       0) \
  X(95, PfaRenameFiles,             PPPP,      0) \
  X(96, PfaLocIsLogicalOffline,     F,         0) \
  X(97, PfaGetIconPaths,            FPP,       0)
/* clang-format on */

#endif /* KEELWORK_PFALOC_SLOTS_H */
