// A small ZIP writer for the tests' own archives: the odd and the damaged ones that no real
// writer makes. Each entry can be listed in the central directory as it is, differently, or
// not at all, and the end record can be bent, so that a test states exactly which record
// disagrees with which. Portable: the native and the Windows tests share it.
#ifndef KAVLIN_TESTS_SUPPORT_ZIP_BUILDER_H
#define KAVLIN_TESTS_SUPPORT_ZIP_BUILDER_H

#include <stdint.h>
#include <string>
#include <vector>

// Bitwise CRC-32, kept apart from the code under test.
uint32_t reference_crc32(const std::string &data);

// The fields of a local header or a central-directory record, and the entry's data.
struct ZipRecord {
    std::string name;
    std::string data;           // the entry's data as stored in the archive
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    std::string extra;
};

// Entries whose header fields agree with their content: stored, and deflated as a raw DEFLATE
// stream of stored blocks (valid method-8 data that needs no compressor), or with the stream
// given.
ZipRecord stored_record(const std::string &name, const std::string &content);
ZipRecord deflated_record(const std::string &name, const std::string &content);
ZipRecord deflated_record(const std::string &name, const std::string &content,
                          const std::string &stream);

class ZipWriter {
public:
    // A local header, name, extra field and data; listed in the central directory as written.
    ZipWriter &add(const ZipRecord &record);
    // The same, listed in the central directory with the fields of `listed` (its data unused).
    ZipWriter &add(const ZipRecord &record, const ZipRecord &listed);
    // The same, not listed at all.
    ZipWriter &add_unlisted(const ZipRecord &record);
    // A central-directory record of `listed` that points at `offset`, with no local header.
    ZipWriter &list_only(const ZipRecord &listed, uint32_t offset);
    ZipWriter &add_stored(const std::string &name, const std::string &content);
    ZipWriter &add_directory(const std::string &name);
    // A data descriptor for the last entry added: with its signature, or without.
    ZipWriter &add_descriptor(bool signed_ = true);
    ZipWriter &add_raw(const std::string &bytes);
    // The central directory, in the order of the entries or reversed, and its end record with
    // `comment` after it.
    ZipWriter &finish(bool reversed = false, const std::string &comment = "");
    const std::string &bytes() const { return bytes_; }
    // Offset of the local header of each entry added.
    const std::vector<uint32_t> &offsets() const { return offsets_; }
    // Where the central directory and the end record start (after finish).
    uint32_t directory_offset() const { return directory_; }
    uint32_t end_offset() const { return end_; }

private:
    struct Listing {
        ZipRecord record;
        uint32_t offset;
    };
    std::string bytes_;
    std::vector<uint32_t> offsets_;
    std::vector<Listing> listings_;
    ZipRecord last_;
    uint32_t directory_ = 0;
    uint32_t end_ = 0;
};

// Little-endian fields, to write and to patch archives.
void put16(std::string &out, uint32_t value);
void put32(std::string &out, uint32_t value);
void set16(std::string &bytes, size_t at, uint32_t value);
void set32(std::string &bytes, size_t at, uint32_t value);
uint32_t get16(const std::string &bytes, size_t at);
uint32_t get32(const std::string &bytes, size_t at);

// Offsets of the local headers of an archive, walked from its start as the installer does.
std::vector<uint32_t> local_header_offsets(const std::string &archive);

#endif
