// Program entry, the translation driver, the output assembly and the
// fatal-error document.
#include "vantrove/main.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "fontmap/fontmap.h"
#include "tools/file.h"
#include "tools/kzopen.h"
#include "tools/stream.h"
#include "tools/string.h"
#include "tyxout/tyxout.h"
#include "vantrove/io.h"
#include "vantrove/krtypes.h"
#include "vantrove/sfield.h"
#include "vantrove/textunit.h"

namespace vantrove {

KRGlobalRecord KRGlobal{};
std::FILE* KRFootnoteStream = nullptr;
const char* KRArgv0 = "vantrove";
int footnoteNum = 0;

namespace {

constexpr const char* kVersion = "4.0.1P1d";
// The output and the temporary files are written through large buffers: the
// body text reaches them one character at a time.
constexpr std::size_t kStreamBuffer = 1 << 18;

const char* file_in = nullptr;
const char* file_out = nullptr;
std::FILE* stream_in = nullptr;
std::FILE* stream_out = nullptr;
char* tmpname_body = nullptr;
char* tmpname_footnote = nullptr;

// How far the end of a fatal error has come: the fatal-error document runs at
// most once, and a second failure while it or the output assembly runs ends
// the process at once.
enum class FatalState { None, Finishing };
FatalState fatalState = FatalState::None;

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
  if (KRFootnoteStream) {
    std::fclose(KRFootnoteStream);
    KRFootnoteStream = nullptr;
  }
  if (KRGlobal.bodyStream) {
    std::fclose(KRGlobal.bodyStream);
    KRGlobal.bodyStream = nullptr;
  }
  if (tmpname_footnote) {
    unlink(tmpname_footnote);
    std::free(tmpname_footnote);
    tmpname_footnote = nullptr;
  }
  if (tmpname_body) {
    unlink(tmpname_body);
    std::free(tmpname_body);
    tmpname_body = nullptr;
  }
}

// Closes one temporary stream and removes its file; a failure is an output error.
void closeAndRemove(std::FILE*& stream, char*& name) {
  int closed = std::fclose(stream);
  stream = nullptr;
  int removed = name ? unlink(name) : 0;
  std::free(name);
  name = nullptr;
  if (closed != 0 || removed != 0) KRFatalStdio();
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
  check(TyxDocumentOut(&master.document, stream_out));

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
  check(TyxPageOut(&page, stream_out));

  static const std::string right = "Right";
  page.setMask = TyxBit(TyxPageField::PageType) | TyxBit(TyxPageField::PageBackground) |
                 TyxBit(TyxPageField::TextRect);
  page.pageType = static_cast<std::uint32_t>(TyxPageType::BodyPage);
  page.pageBackground = right.c_str();
  rect.genericObjectData.id = 2;
  check(TyxPageOut(&page, stream_out));
  page.textRect[0] = page.textRect[1] = nullptr;

  static const std::string flowTag = "A";
  TyxTextFlow flow{};
  flow.setMask = TyxBit(TyxTextFlowField::TFTag) | TyxBit(TyxTextFlowField::TextRectID) |
                 TyxBit(TyxTextFlowField::TFAutoConnect);
  flow.tfTag = flowTag.c_str();
  flow.tfAutoConnect = 1;
  flow.textRectID = 1;
  check(TyxTextFlowOpen(&flow, stream_out));
  check(TyxTextFlowClose(stream_out));
  flow.textRectID = 2;
  check(TyxTextFlowOpen(&flow, stream_out));

  if (KRFootnoteStream) {
    check(TyxNotesOpen(stream_out));
    std::rewind(KRFootnoteStream);
    StreamCopy(KRFootnoteStream, stream_out);
    closeAndRemove(KRFootnoteStream, tmpname_footnote);
    check(TyxNotesClose(stream_out));
  }
  if (KRGlobal.bodyStream) {
    std::rewind(KRGlobal.bodyStream);
    StreamCopy(KRGlobal.bodyStream, stream_out);
    closeAndRemove(KRGlobal.bodyStream, tmpname_body);
  }
  check(TyxTextFlowClose(stream_out));
}

}  // namespace

void KRShutDown() {
  std::string generator = std::string(KRArgv0) + " " + kVersion;
  if (stream_out) {
    check(TyxPreludeOut(stream_out, generator.c_str()));
    check(TyxParaCatalogOut(stream_out));
    if (KRGlobal.masterFormat) writeDocument(*KRGlobal.masterFormat);
    // The output is buffered: a full device shows only when it is flushed.
    if (std::fflush(stream_out) != 0 || std::ferror(stream_out)) KRFatalStdio();
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
  if (fatalState == FatalState::Finishing) {
    // Writing failed again while the fatal-error document or the output was
    // being written: give up rather than loop.
    std::fputs("vantrove: The output document could not be completed.\n", stderr);
    removeTemporaryFiles();
    KRExit(1);
  }
  fatalState = FatalState::Finishing;
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
  std::set_new_handler([] { KRFatalMemory(); });
  const char* invoked = argc > 0 && argv[0] ? basename(argv[0]) : nullptr;
  KRArgv0 = invoked ? invoked : "vantrove";
  KRGlobal.bodyStream = nullptr;

  // Options "Vhb" end at the first operand, as POSIX has it; the leading "+"
  // keeps the GNU getopt from taking options from among the operands.
  opterr = 0;
  int option;
  while ((option = getopt(argc, argv, "+Vhb")) != -1) {
    switch (option) {
      case 'V':
        std::fprintf(stderr, "%s: version %s\n", KRArgv0, kVersion);
        KRExit(0);
      case 'b':
        break;
      default:  // "-h" and every unknown option letter
        usage(KRArgv0);
    }
  }

  stream_in = stdin;
  stream_out = stdout;
  int operands = argc - optind;
  if (operands > 2) usage(KRArgv0);
  file_in = operands > 0 ? argv[optind] : nullptr;
  file_out = operands > 1 ? argv[optind + 1] : nullptr;

  if (file_in) {
    stream_in = kzopen(file_in, "r");
    if (!stream_in) KRFatal(std::strerror(errno));
  }
  if (file_out) {
    stream_out = kzopen(file_out, "w");
    if (!stream_out) KRFatal(std::strerror(errno));
  }
  // The input needs no buffer of its own: the input stream reads it in
  // blocks larger than the default buffer, which go straight to its read-ahead.
  bigBuffer(stream_out, Buffered::Output);

  std::FILE* fontMap = kzopen("dca.am", "r");
  if (!fontMap) {
    std::fputs("Cannot open your dca.am file.\n", stderr);
    KRExit(1);
  }
  if (AmFontOpen(fontMap) != 0) {
    std::fputs("Problem reading your dca.am file.\n", stderr);
    KRExit(1);
  }
  std::fclose(fontMap);
  KRRun(stream_in, stream_out);
}

void KRRun(std::FILE* input, std::FILE* output) {
  stream_in = input;
  stream_out = output;
  footnoteNum = 0;

  const char* name = FileGetTmpFileName(nullptr, KRArgv0);
  tmpname_body = name ? StringCopy(name) : nullptr;
  if (!tmpname_body) KRFatalMemory();
  name = FileGetTmpFileName(nullptr, KRArgv0);
  tmpname_footnote = name ? StringCopy(name) : nullptr;
  if (!tmpname_footnote) KRFatalMemory();

  KRGlobal.bodyStream = std::fopen(tmpname_body, "r+");
  if (!KRGlobal.bodyStream) KRFatalStdio();
  bigBuffer(KRGlobal.bodyStream, Buffered::Body);
  KRFootnoteStream = std::fopen(tmpname_footnote, "r+");
  if (!KRFootnoteStream) KRFatalStdio();
  bigBuffer(KRFootnoteStream, Buffered::Footnote);

  KRStdinOpen(nullptr, nullptr, stream_in);
  KRTranslate();
  KRShutDown();
}

void KRResetAll() {
  removeTemporaryFiles();
  KRStdinReset();
  KRSfieldReset();
  KRTextReset();
  TyxReset();
  KRGlobal = KRGlobalRecord{};
  KRFootnoteStream = nullptr;
  footnoteNum = 0;
  file_in = file_out = nullptr;
  stream_in = stream_out = nullptr;
  std::free(tmpname_body);
  std::free(tmpname_footnote);
  tmpname_body = tmpname_footnote = nullptr;
  fatalState = FatalState::None;
}

}  // namespace vantrove
