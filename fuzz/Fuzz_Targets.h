#pragma once

// Entry points of the fuzz targets, shared by the libFuzzer programs and the replay test that runs every
// saved input through them in the ordinary test build.

#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

// A broken invariant: the libFuzzer program aborts on it (a finding), the replay test fails on it.
class EFuzz_Finding : public std::logic_error
{
public:
    using std::logic_error::logic_error;
};

using TFuzz_Entry = int (*)(const uint8_t *data, size_t size);

struct TFuzz_Target
{
    const char *Name; // also the corpus directory: fuzz/corpus/<Name>
    TFuzz_Entry Entry;
};

// The language-file decoder and line reader.
int Fuzz_Language(const uint8_t *data, size_t size);
// The XML loader, and the checked writer on what it loaded.
int Fuzz_Xml(const uint8_t *data, size_t size);
// ParGen.xml to the parameter block and the configuration image.
int Fuzz_Config(const uint8_t *data, size_t size);
// The settings: a Quillon.xml read, or settings values saved and read back.
int Fuzz_Settings(const uint8_t *data, size_t size);
// quillon-cli inspect on a file's bytes.
int Fuzz_Inspect(const uint8_t *data, size_t size);
// The table provision reads (Parse_Csv_Table), and the table written back and read again.
int Fuzz_Csv(const uint8_t *data, size_t size);

const QList<TFuzz_Target> &Fuzz_Targets();
