// The tests' ZIP writer.
#include "tests/support/zip_builder.h"

uint32_t reference_crc32(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

void put16(std::string &out, uint32_t value)
{
    out += (char)(value & 0xFF);
    out += (char)((value >> 8) & 0xFF);
}

void put32(std::string &out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void set16(std::string &bytes, size_t at, uint32_t value)
{
    bytes[at] = (char)(value & 0xFF);
    bytes[at + 1] = (char)((value >> 8) & 0xFF);
}

void set32(std::string &bytes, size_t at, uint32_t value)
{
    set16(bytes, at, value & 0xFFFF);
    set16(bytes, at + 2, value >> 16);
}

uint32_t get16(const std::string &bytes, size_t at)
{
    return (uint8_t)bytes[at] | (uint8_t)bytes[at + 1] << 8;
}

uint32_t get32(const std::string &bytes, size_t at)
{
    return get16(bytes, at) | get16(bytes, at + 2) << 16;
}

ZipRecord stored_record(const std::string &name, const std::string &content)
{
    ZipRecord record;
    record.name = name;
    record.data = content;
    record.crc = reference_crc32(content);
    record.compressed_size = record.uncompressed_size = (uint32_t)content.size();
    return record;
}

ZipRecord deflated_record(const std::string &name, const std::string &content,
                          const std::string &stream)
{
    ZipRecord record = stored_record(name, content);
    record.method = 8;
    record.data = stream;
    record.compressed_size = (uint32_t)stream.size();
    return record;
}

ZipRecord deflated_record(const std::string &name, const std::string &content)
{
    // Stored blocks (RFC 1951, 3.2.4): a header byte (BFINAL, BTYPE 00), LEN, NLEN, the bytes.
    std::string stream;
    size_t at = 0;
    do {
        size_t length = content.size() - at < 65535 ? content.size() - at : 65535;
        bool final = at + length == content.size();
        stream += (char)(final ? 1 : 0);
        put16(stream, (uint32_t)length);
        put16(stream, (uint32_t)(~length & 0xFFFF));
        stream.append(content, at, length);
        at += length;
    } while (at < content.size());
    return deflated_record(name, content, stream);
}

ZipWriter &ZipWriter::add_unlisted(const ZipRecord &record)
{
    offsets_.push_back((uint32_t)bytes_.size());
    put32(bytes_, 0x04034B50);
    put16(bytes_, 20);
    put16(bytes_, record.flags);
    put16(bytes_, record.method);
    put16(bytes_, 0x6000);      // 12:00
    put16(bytes_, 0x5A21);      // 2025-01-01
    put32(bytes_, record.crc);
    put32(bytes_, record.compressed_size);
    put32(bytes_, record.uncompressed_size);
    put16(bytes_, (uint32_t)record.name.size());
    put16(bytes_, (uint32_t)record.extra.size());
    bytes_ += record.name;
    bytes_ += record.extra;
    bytes_ += record.data;
    last_ = record;
    return *this;
}

ZipWriter &ZipWriter::add(const ZipRecord &record, const ZipRecord &listed)
{
    add_unlisted(record);
    listings_.push_back({ listed, offsets_.back() });
    return *this;
}

ZipWriter &ZipWriter::list_only(const ZipRecord &listed, uint32_t offset)
{
    listings_.push_back({ listed, offset });
    return *this;
}

ZipWriter &ZipWriter::add(const ZipRecord &record)
{
    return add(record, record);
}

ZipWriter &ZipWriter::add_stored(const std::string &name, const std::string &content)
{
    return add(stored_record(name, content));
}

ZipWriter &ZipWriter::add_directory(const std::string &name)
{
    return add(stored_record(name, ""));
}

ZipWriter &ZipWriter::add_descriptor(bool signed_)
{
    if (signed_)
        put32(bytes_, 0x08074B50);
    put32(bytes_, last_.crc);
    put32(bytes_, last_.compressed_size);
    put32(bytes_, last_.uncompressed_size);
    return *this;
}

ZipWriter &ZipWriter::add_raw(const std::string &bytes)
{
    bytes_ += bytes;
    return *this;
}

ZipWriter &ZipWriter::finish(bool reversed, const std::string &comment)
{
    directory_ = (uint32_t)bytes_.size();
    for (size_t n = 0; n < listings_.size(); n++) {
        const Listing &listing = listings_[reversed ? listings_.size() - 1 - n : n];
        const ZipRecord &record = listing.record;
        put32(bytes_, 0x02014B50);
        put16(bytes_, 20);      // made by
        put16(bytes_, 20);      // needed to extract
        put16(bytes_, record.flags);
        put16(bytes_, record.method);
        put16(bytes_, 0x6000);
        put16(bytes_, 0x5A21);
        put32(bytes_, record.crc);
        put32(bytes_, record.compressed_size);
        put32(bytes_, record.uncompressed_size);
        put16(bytes_, (uint32_t)record.name.size());
        put16(bytes_, (uint32_t)record.extra.size());
        put16(bytes_, 0);       // comment length
        put16(bytes_, 0);       // disk number
        put16(bytes_, 0);       // internal attributes
        put32(bytes_, 0);       // external attributes
        put32(bytes_, listing.offset);
        bytes_ += record.name;
        bytes_ += record.extra;
    }
    end_ = (uint32_t)bytes_.size();
    put32(bytes_, 0x06054B50);
    put32(bytes_, 0);           // disk numbers
    put16(bytes_, (uint32_t)listings_.size());
    put16(bytes_, (uint32_t)listings_.size());
    put32(bytes_, end_ - directory_);
    put32(bytes_, directory_);
    put16(bytes_, (uint32_t)comment.size());
    bytes_ += comment;
    return *this;
}

std::vector<uint32_t> local_header_offsets(const std::string &archive)
{
    std::vector<uint32_t> offsets;
    size_t at = 0;
    while (at + 30 <= archive.size()) {
        uint32_t signature = get32(archive, at);
        if (signature == 0x08074B50) {
            at += 16;
            continue;
        }
        if (signature != 0x04034B50)
            break;
        offsets.push_back((uint32_t)at);
        at += 30 + get16(archive, at + 26) + get16(archive, at + 28) + get32(archive, at + 18);
    }
    return offsets;
}
