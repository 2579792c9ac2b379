// The command line, the translation driver, the output assembly and the
// fatal-error document.
#include "vantrove/driver.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "fontmap/fontmap.h"
#include "tools/file.h"
#include "tools/kzopen.h"
#include "tools/stream.h"
#include "tyxout/tyxout.h"
#include "vantrove/format.h"
#include "vantrove/io.h"
#include "vantrove/mbcontrol.h"
#include "vantrove/sfield.h"
#include "vantrove/textunit.h"

namespace vantrove {
namespace {

constexpr const char* kVersion = "4.0.1P1d";
// The output and the temporary files are written through large buffers: the
// body text reaches them one character at a time.
constexpr std::size_t kStreamBuffer = 1 << 18;

// A file this run made and must not leave behind: the two temporary files,
// and the output file when this run created it (an interrupted or failed run
// leaves only part of a document in it). The names live in fixed buffers
// because the signal handler removes them, and may touch nothing else.
struct OwnedFile {
  char name[PATH_MAX];
  volatile std::sig_atomic_t present;
};

// How far the end of a fatal error has come: the fatal-error document runs at
// most once, and a second failure while it or the output assembly runs ends
// the process at once.
enum class FatalState { None, Finishing };

// The module's state: one for the whole run.
struct DriverState {
  // The program name as invoked: usage and version lines, the output header
  // and the temporary file names.
  const char* KRArgv0 = "vantrove";
  const char* file_in = nullptr;
  const char* file_out = nullptr;
  std::FILE* stream_in = nullptr;
  std::FILE* stream_out = nullptr;
  // The footnote text's temporary file (the body text's is KRGlobal.bodyStream).
  std::FILE* KRFootnoteStream = nullptr;
  OwnedFile tmpname_body{};
  OwnedFile tmpname_footnote{};
  OwnedFile createdOutput{};
  FatalState fatalState = FatalState::None;
};
DriverState driver;

void own(OwnedFile& file, const char* name) {
  const std::size_t length = std::strlen(name);
  if (length >= sizeof file.name) return;  // no such path can have been created
  std::memcpy(file.name, name, length + 1);
  file.present = 1;
}

// Removes the file if this run still owns it; true when nothing failed.
bool disown(OwnedFile& file) {
  if (!file.present) return true;
  file.present = 0;
  return unlink(file.name) == 0;
}

// The signals that end a filter early: the files the run made are removed,
// then the signal is raised again with its default action, so that whoever
// started the program sees it end by that signal.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void removeOnSignal(int signal) {
  for (OwnedFile* file : {&driver.tmpname_body, &driver.tmpname_footnote, &driver.createdOutput}) {
    if (file->present) unlink(file->name);
  }
  // The handler was installed with SA_RESETHAND: the raised signal, held
  // until the handler returns, now ends the process.
  raise(signal);
}

void installSignalHandlers() {
  for (int signal : kCleanupSignals) {
    struct sigaction previous {};
    // A signal ignored by whoever started the program (nohup, a background
    // job) stays ignored.
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = removeOnSignal;
    sigemptyset(&action.sa_mask);
    for (int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal, &action, nullptr);
  }
}

[[noreturn]] void usage(const char* name) {
  std::fprintf(stderr, "usage:\t%s -V  (prints version)\n", name);
  std::fprintf(stderr, "\t%s -h  (prints usage message)\n", name);
  std::fprintf(stderr, "\t%s input_file output_file\n", name);
  std::fprintf(stderr, "\t%s < input_file > output_file\n", name);
  KRExit(1);
}

// setvbuf with a null buffer keeps the C library's default size (a few KiB),
// so each stream gets a static buffer of its own. Static storage outlives
// every stream, even one still open when the process exits; a stream is
// closed before the next run opens another in its place.
enum class Buffered { Output, Body, Footnote };
char streamBuffers[3][kStreamBuffer];

void bigBuffer(std::FILE* stream, Buffered which) {
  if (stream) {
    std::setvbuf(stream, streamBuffers[static_cast<int>(which)], _IOFBF, kStreamBuffer);
  }
}

// Closes and removes whatever temporary file is still open or present.
void removeTemporaryFiles() {
  if (driver.KRFootnoteStream) {
    std::fclose(driver.KRFootnoteStream);
    driver.KRFootnoteStream = nullptr;
  }
  if (KRGlobal.bodyStream) {
    std::fclose(KRGlobal.bodyStream);
    KRGlobal.bodyStream = nullptr;
  }
  disown(driver.tmpname_footnote);
  disown(driver.tmpname_body);
}

// An unsuccessful end leaves nothing behind: the temporary files go, and so
// does an output file that this run created, since it cannot hold a whole
// document.
void removeFilesOfFailedRun() {
  removeTemporaryFiles();
  if (driver.createdOutput.present) {
    if (driver.stream_out) {
      std::fclose(driver.stream_out);
      driver.stream_out = nullptr;
    }
    disown(driver.createdOutput);
  }
}

// Closes one temporary stream and removes its file; a failure is an output error.
void closeAndRemove(std::FILE*& stream, OwnedFile& name) {
  int closed = std::fclose(stream);
  stream = nullptr;
  bool removed = disown(name);
  if (closed != 0 || !removed) KRFatalStdio();
}

// Copies a temporary file into the output, through the kernel where it can.
// The output's failures show at its next write; a temporary file that cannot
// be read back would silently cut the document short, so it ends the run
// unsuccessfully.
void splice(std::FILE* temporary) {
  std::rewind(temporary);
  StreamSplice(temporary, driver.stream_out);
  if (std::ferror(temporary)) {
    std::fprintf(stderr, "vantrove: Unable to read temporary file: %s\n", std::strerror(errno));
    std::fputs("vantrove: The output document could not be completed.\n", stderr);
    KRExit(1);
  }
}

// Opens the output under its own name only (after "~" expansion): never one of
// the search path's other places, which could replace an unrelated file.
// Refuses to write over the input. Remembers whether the file was created here.
std::FILE* openOutput(const char* name) {
  char expanded[257];
  if (name[0] == '~' && std::strlen(name) < sizeof expanded) {
    std::memcpy(expanded, name, std::strlen(name) + 1);
    expandTilde(expanded);
    name = expanded;
  }
  struct stat input {};
  struct stat output {};
  if (fstat(fileno(driver.stream_in), &input) == 0 && stat(name, &output) == 0 &&
      input.st_dev == output.st_dev && input.st_ino == output.st_ino) {
    std::fputs("vantrove: Input and output are the same file.\n", stderr);
    KRExit(1);
  }
  int descriptor = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor >= 0) {
    own(driver.createdOutput, name);
  } else if (errno == EEXIST) {
    descriptor = open(name, O_WRONLY | O_TRUNC | O_CLOEXEC);
  }
  if (descriptor < 0) return nullptr;
  std::FILE* stream = fdopen(descriptor, "w");
  if (!stream) {
    const int error = errno;
    close(descriptor);
    disown(driver.createdOutput);
    errno = error;
  }
  return stream;
}

// Creates one temporary file; its descriptor is kept, so the file is never
// looked up by name again.
int createTemporary(OwnedFile& owned) {
  int descriptor = -1;
  const char* name = FileGetTmpFileName(nullptr, driver.KRArgv0, &descriptor);
  if (!name) KRFatalMemory();
  own(owned, name);
  return descriptor;
}

// A stream for update on a temporary file's descriptor; `other` is the other
// file's descriptor, still without a stream, closed as well on failure.
std::FILE* openTemporary(int descriptor, int other) {
  std::FILE* stream = fdopen(descriptor, "r+");
  if (!stream) {
    close(descriptor);
    if (other >= 0) close(other);
    KRFatalStdio();
  }
  return stream;
}

void check(int written) {
  if (written == TyxWriteFailed) KRFatalStdio();
}

// The primary master format becomes the document's layout: the line margins
// turn into page margins, the master paragraph starts at zero indents and the
// tab stops become relative to the left page margin.
void completeMasterFormat(KRFormat& format) {
  TyxDocument& document = format.document;
  TyxPgf& pgf = format.pgf;
  if (!(document.setMask & TyxBit(TyxDocumentField::DMargins))) {
    // No page image parameters: one-inch top and bottom margins; the document
    // statement still carries no margins.
    document.dMargins[TyxTop] = TyxInches(1.0f);
    document.dMargins[TyxBottom] = TyxInches(1.0f);
  }
  document.dMargins[TyxRight] = pgf.pgfRIndent;
  pgf.pgfRIndent.value = 0;
  document.dMargins[TyxLeft] = pgf.pgfLIndent;
  pgf.pgfLIndent.value = 0;
  pgf.pgfFIndent.value -= document.dMargins[TyxLeft].value;
  if (pgf.tabStop) {
    for (std::int32_t i = 0; i < pgf.pgfNumTabs; ++i) {
      TyxTabStop& tab = pgf.tabStop[i];
      if (tab.tsX.unit != TyxUnitCode(TyxUnit::Inch))
        tab.tsX.value -= document.dMargins[TyxLeft].value * 72;
      else
        tab.tsX.value -= document.dMargins[TyxLeft].value;
    }
  }
  document.dRelativeTabs = 1;
  document.setMask |= TyxBit(TyxDocumentField::DRelativeTabs);

  TyxPage& page = format.page;
  if (page.setMask & TyxBit(TyxPageField::HFMargins)) {
    page.hfMargins[TyxLeft] = document.dMargins[TyxLeft];
    page.hfMargins[TyxRight] = document.dMargins[TyxRight];
  }
  page.pageType = static_cast<std::uint32_t>(TyxPageType::MasterPage);
  page.headerL = "$1";
  page.footerL = "$2";
  page.setMask |= TyxBit(TyxPageField::PageType) | TyxBit(TyxPageField::HeaderL) |
                  TyxBit(TyxPageField::FooterL);
}

// Writes the document, the two page statements and the two text flows, the
// second holding the footnotes and the body copied from the temporary files.
void writeDocument(KRFormat& master) {
  check(TyxDocumentOut(&master.document, driver.stream_out));

  const TyxDocument& document = master.document;
  TyxTextRect rect{};
  rect.setMask = TyxBit(TyxTextRectField::GenericObjectData) | TyxBit(TyxTextRectField::BRect);
  rect.genericObjectData.setMask = TyxBit(TyxObjectDataField::ID) |
                                   TyxBit(TyxObjectDataField::Pen) |
                                   TyxBit(TyxObjectDataField::Fill);
  rect.genericObjectData.id = 1;
  rect.genericObjectData.pen = 15;
  rect.genericObjectData.fill = 15;
  rect.bRect[0] = TyxInches(document.dMargins[TyxLeft].value);
  rect.bRect[1] = TyxInches(document.dMargins[TyxTop].value);
  rect.bRect[2] = TyxInches(document.dPageSize[0].value - document.dMargins[TyxLeft].value -
                            document.dMargins[TyxRight].value);
  rect.bRect[3] = TyxInches(document.dPageSize[1].value - document.dMargins[TyxBottom].value -
                            document.dMargins[TyxTop].value);

  TyxPage& page = master.page;
  page.pageType = static_cast<std::uint32_t>(TyxPageType::MasterPage);
  page.textRect[0] = page.textRect[1] = &rect;
  page.setMask |= TyxBit(TyxPageField::PageType) | TyxBit(TyxPageField::TextRect);
  check(TyxPageOut(&page, driver.stream_out));

  static const std::string right = "Right";
  page.setMask = TyxBit(TyxPageField::PageType) | TyxBit(TyxPageField::PageBackground) |
                 TyxBit(TyxPageField::TextRect);
  page.pageType = static_cast<std::uint32_t>(TyxPageType::BodyPage);
  page.pageBackground = right.c_str();
  rect.genericObjectData.id = 2;
  check(TyxPageOut(&page, driver.stream_out));
  page.textRect[0] = page.textRect[1] = nullptr;

  static const std::string flowTag = "A";
  TyxTextFlow flow{};
  flow.setMask = TyxBit(TyxTextFlowField::TFTag) | TyxBit(TyxTextFlowField::TextRectID) |
                 TyxBit(TyxTextFlowField::TFAutoConnect);
  flow.tfTag = flowTag.c_str();
  flow.tfAutoConnect = 1;
  flow.textRectID = 1;
  check(TyxTextFlowOpen(&flow, driver.stream_out));
  check(TyxTextFlowClose(driver.stream_out));
  flow.textRectID = 2;
  check(TyxTextFlowOpen(&flow, driver.stream_out));

  if (driver.KRFootnoteStream) {
    check(TyxNotesOpen(driver.stream_out));
    splice(driver.KRFootnoteStream);
    closeAndRemove(driver.KRFootnoteStream, driver.tmpname_footnote);
    check(TyxNotesClose(driver.stream_out));
  }
  if (KRGlobal.bodyStream) {
    splice(KRGlobal.bodyStream);
    closeAndRemove(KRGlobal.bodyStream, driver.tmpname_body);
  }
  check(TyxTextFlowClose(driver.stream_out));
}

}  // namespace

void KRShutDown() {
  std::string generator = std::string(driver.KRArgv0) + " " + kVersion;
  if (driver.stream_out) {
    check(TyxPreludeOut(driver.stream_out, generator.c_str()));
    check(TyxParaCatalogOut(driver.stream_out));
    if (KRGlobal.masterFormat) writeDocument(*KRGlobal.masterFormat);
    // The output is buffered: a full device shows only when it is flushed.
    if (std::fflush(driver.stream_out) != 0 || std::ferror(driver.stream_out)) KRFatalStdio();
    // The document is complete: an interruption from here on keeps it.
    driver.createdOutput.present = 0;
  } else {
    std::fputs("vantrove: Can't open output file\n", stderr);
  }
  removeTemporaryFiles();
  KRExit(0);
}

void KRFatalPuts(const char* text) {
  for (const char* c = text; *c; ++c)
    check(TyxCharOut(static_cast<unsigned char>(*c), KRGlobal.bodyStream));
}

void KRFatalFinish() {
  if (driver.fatalState == FatalState::Finishing) {
    // Writing failed again while the fatal-error document or the output was
    // being written: give up rather than loop.
    std::fputs("vantrove: The output document could not be completed.\n", stderr);
    KRExit(1);
  }
  driver.fatalState = FatalState::Finishing;
  if (KRGlobal.bodyStream) {
    static const std::string tag = "vantrove";
    TyxPgf pgf{};
    pgf.setMask = TyxBit(TyxPgfField::PgfTag) | TyxBit(TyxPgfField::PgfFont);
    pgf.pgfTag = tag.c_str();
    pgf.pgfFont.setMask = TyxBit(TyxFontField::FSize) | TyxBit(TyxFontField::FBold);
    pgf.pgfFont.fSize = TyxPoints(24.0f);
    pgf.pgfFont.fBold = 1;
    check(TyxParaOpen(&pgf, KRGlobal.bodyStream, 1));
    KRFatalPuts("vantrove could not complete. ");
    KRFatalPuts("Please see messages in the console window. ");
    check(TyxParaClose(KRGlobal.bodyStream, 1));
  }
  KRShutDown();
}

void KRTranslate() {
  KRFormatUnit1();
  KRFormatUnit2();
  KRFormatUnit3();
  KRGlobal.masterFormat = KRGlobal.returnFormat = &KRPrimaryFormat;
  completeMasterFormat(*KRGlobal.masterFormat);
  KRCurrentFormat = *KRGlobal.masterFormat;
  KRParaClose(KRGlobal.bodyStream);
  for (;;) {
    int result = KRTextUnit(0, "Expected a text unit.");
    if (result == KRReadOther) break;
    if (result == KRReadEnd) KRFatal("Missing end unit.");
  }
  check(TyxParaClose(KRGlobal.bodyStream, 1));
  KREndUnit(1, "Expected end unit.");
}

void KRMain(int argc, char** argv) {
  KRSetFatalFinish(KRFatalFinish);
  KRReserveMemory();
  std::set_new_handler([] { KRFatalMemory(); });
  const char* invoked = argc > 0 && argv[0] ? basename(argv[0]) : nullptr;
  driver.KRArgv0 = invoked ? invoked : "vantrove";
  KRGlobal.bodyStream = nullptr;

  // Options "Vhb" end at the first operand, as POSIX has it; the leading "+"
  // keeps the GNU getopt from taking options from among the operands.
  opterr = 0;
  int option;
  while ((option = getopt(argc, argv, "+Vhb")) != -1) {
    switch (option) {
      case 'V':
        std::fprintf(stderr, "%s: version %s\n", driver.KRArgv0, kVersion);
        KRExit(0);
      case 'b':
        break;
      default:  // "-h" and every unknown option letter
        usage(driver.KRArgv0);
    }
  }

  driver.stream_in = stdin;
  driver.stream_out = stdout;
  int operands = argc - optind;
  if (operands > 2) usage(driver.KRArgv0);
  driver.file_in = operands > 0 ? argv[optind] : nullptr;
  driver.file_out = operands > 1 ? argv[optind + 1] : nullptr;

  if (driver.file_in) {
    driver.stream_in = kzopen(driver.file_in, "r");
    if (!driver.stream_in) KRFatal(std::strerror(errno));
  }
  installSignalHandlers();
  KRSetFailureCleanup(removeFilesOfFailedRun);
  if (driver.file_out) {
    driver.stream_out = openOutput(driver.file_out);
    if (!driver.stream_out) KRFatal(std::strerror(errno));
  }
  // The input needs no buffer of its own: the input stream reads it in
  // blocks larger than the default buffer, which go straight to its read-ahead.
  bigBuffer(driver.stream_out, Buffered::Output);

  std::FILE* fontMap = kzopen("dca.am", "r");
  if (!fontMap) {
    std::fputs("Cannot open your dca.am file.\n", stderr);
    KRExit(1);
  }
  // The parser reads the whole file in one go into a buffer of its own: the
  // stream needs none.
  std::setvbuf(fontMap, nullptr, _IONBF, 0);
  // While the font map loads, a failed allocation is the parser's own error
  // ("Memory is full at line %d."), which ends the run with status 1 like any
  // other; everywhere else it is the fatal "Memory is full.".
  const std::new_handler memoryFull = std::set_new_handler(nullptr);
  const int loaded = AmFontOpen(fontMap);
  std::set_new_handler(memoryFull);
  if (loaded != 0) {
    std::fputs("Problem reading your dca.am file.\n", stderr);
    KRExit(1);
  }
  std::fclose(fontMap);
  KRRun(driver.stream_in, driver.stream_out);
}

void KRRun(std::FILE* input, std::FILE* output) {
  driver.stream_in = input;
  driver.stream_out = output;
  KRSetFatalFinish(KRFatalFinish);
  KRSetFailureCleanup(removeFilesOfFailedRun);

  const int body = createTemporary(driver.tmpname_body);
  const int footnote = createTemporary(driver.tmpname_footnote);
  KRGlobal.bodyStream = openTemporary(body, footnote);
  bigBuffer(KRGlobal.bodyStream, Buffered::Body);
  driver.KRFootnoteStream = openTemporary(footnote, -1);
  bigBuffer(driver.KRFootnoteStream, Buffered::Footnote);
  KRTextSetFootnoteStream(driver.KRFootnoteStream);

  KRStdinOpen(driver.stream_in);
  KRTranslate();
  KRShutDown();
}

void KRResetAll() {
  removeTemporaryFiles();
  KRStdinReset();
  KRFormatReset();
  KRTextReset();
  KRMultiByteReset();
  TyxReset();
  // The program name belongs to the process, not to a run.
  const char* argv0 = driver.KRArgv0;
  driver = DriverState{};
  driver.KRArgv0 = argv0;
  KRSetFatalFinish(KRFatalFinish);
}

}  // namespace vantrove
