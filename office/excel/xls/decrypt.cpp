#include "office/excel/xls/decrypt.h"

#include <QCryptographicHash>

#include <array>
#include <cstring>

#include "office/error.h"

namespace office::excel::xls {

namespace {

constexpr std::size_t kBlock = 1024;

using Key = std::vector<std::uint8_t>;

class Rc4 {
public:
    explicit Rc4(const Key& key) {
        for (int i = 0; i < 256; ++i) {
            state_[i] = static_cast<std::uint8_t>(i);
        }
        std::uint8_t j = 0;
        for (int i = 0; i < 256; ++i) {
            j = static_cast<std::uint8_t>(j + state_[i] + key[i % key.size()]);
            std::swap(state_[i], state_[j]);
        }
    }
    std::uint8_t next() {
        i_ = static_cast<std::uint8_t>(i_ + 1);
        j_ = static_cast<std::uint8_t>(j_ + state_[i_]);
        std::swap(state_[i_], state_[j_]);
        return state_[static_cast<std::uint8_t>(state_[i_] + state_[j_])];
    }

private:
    std::array<std::uint8_t, 256> state_{};
    std::uint8_t i_ = 0, j_ = 0;
};

QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

QByteArray passwordBytes() {
    QByteArray out;
    for (const char c : std::string_view(kDefaultPassword)) {
        out.append(c);
        out.append('\0');
    }
    return out;
}

QByteArray le32(std::uint32_t value) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

Key keyOf(const QByteArray& bytes, std::size_t size) {
    Key key(bytes.begin(), bytes.begin() + static_cast<qsizetype>(size));
    return key;
}

// How the key of each 1024-byte block is made.
struct KeyMaker {
    QCryptographicHash::Algorithm hash;
    QByteArray base;        // the hash the block keys derive from
    std::size_t keySize;    // bytes of the block hash used as key
    std::size_t padTo = 0;  // the key is padded with zeros to this length (CryptoAPI, 40 bits)

    Key block(std::uint32_t number) const {
        const QByteArray final = QCryptographicHash::hash(base + le32(number), hash);
        Key key = keyOf(final, std::min<std::size_t>(keySize, final.size()));
        if (key.size() < padTo) {
            key.resize(padTo, 0);
        }
        return key;
    }
};

// True when the verifier decrypts to data whose hash is the decrypted verifier hash.
bool verifies(const KeyMaker& maker, const std::uint8_t* verifier, const std::uint8_t* hash,
              std::size_t hashSize) {
    Rc4 rc4(maker.block(0));
    std::vector<std::uint8_t> plain(16 + hashSize);
    for (std::size_t i = 0; i < 16; ++i) {
        plain[i] = verifier[i] ^ rc4.next();
    }
    for (std::size_t i = 0; i < hashSize; ++i) {
        plain[16 + i] = hash[i] ^ rc4.next();
    }
    const QByteArray computed = QCryptographicHash::hash(bytesOf(plain.data(), 16), maker.hash);
    return static_cast<std::size_t>(computed.size()) >= hashSize &&
           std::memcmp(computed.data(), plain.data() + 16, hashSize) == 0;
}

[[noreturn]] void refuse(const std::string& where, const std::string& why) {
    throw Error(ErrorCode::Encrypted, where + ": the workbook is protected by a password" + why +
                                          "; remove the password in the office suite and save "
                                          "it again");
}

// RC4 with MD5 keys: the salt and verifier follow the version.
KeyMaker standardKeys(RecordReader& in, const std::string& where) {
    std::uint8_t salt[16], verifier[16], hash[16];
    for (auto* field : {salt, verifier, hash}) {
        for (int i = 0; i < 16; ++i) {
            field[i] = in.u8();
        }
    }
    const QByteArray h0 = QCryptographicHash::hash(passwordBytes(), QCryptographicHash::Md5);
    QByteArray buffer;
    for (int i = 0; i < 16; ++i) {
        buffer += h0.left(5) + bytesOf(salt, 16);
    }
    const QByteArray h1 = QCryptographicHash::hash(buffer, QCryptographicHash::Md5).left(5);
    KeyMaker maker{QCryptographicHash::Md5, h1, 16};
    if (!verifies(maker, verifier, hash, 16)) {
        refuse(where, "");
    }
    return maker;
}

// RC4 with SHA-1 keys: an encryption header, then the verifier.
KeyMaker cryptoApiKeys(RecordReader& in, const std::string& where) {
    in.u32();  // flags
    const std::uint32_t headerSize = in.u32();
    if (headerSize < 32 || headerSize > in.remaining()) {
        in.fail("the encryption header has " + std::to_string(headerSize) + " bytes");
    }
    in.skip(16);
    const std::uint32_t keyBits = in.u32();
    in.skip(headerSize - 20);
    const std::uint32_t saltSize = in.u32();
    if (saltSize != 16) {
        in.fail("the encryption salt has " + std::to_string(saltSize) + " bytes");
    }
    std::uint8_t salt[16], verifier[16], hash[20];
    for (auto& b : salt)
        b = in.u8();
    for (auto& b : verifier)
        b = in.u8();
    const std::uint32_t hashSize = in.u32();
    if (hashSize != 20) {
        in.fail("the verifier hash has " + std::to_string(hashSize) + " bytes");
    }
    for (auto& b : hash)
        b = in.u8();
    const std::size_t keySize = (keyBits == 0 ? 40 : keyBits) / 8;
    if (keySize < 5 || keySize > 16) {
        in.fail("the key is " + std::to_string(keyBits) + " bits long");
    }
    const QByteArray h0 =
        QCryptographicHash::hash(bytesOf(salt, 16) + passwordBytes(), QCryptographicHash::Sha1);
    // A 40-bit key is taken as it is by some writers and padded to 128 bits by others; the
    // verifier tells which.
    KeyMaker maker{QCryptographicHash::Sha1, h0, keySize};
    if (verifies(maker, verifier, hash, 20)) {
        return maker;
    }
    maker.padTo = 16;
    if (keySize == 5 && verifies(maker, verifier, hash, 20)) {
        return maker;
    }
    refuse(where, "");
}

// Records whose bodies are never encrypted.
bool plainRecord(std::uint16_t id) {
    switch (id) {
        case rt::Bof:
        case rt::FilePass:
        case 0x0194:  // UsrExcl
        case 0x0195:  // FileLock
        case 0x00E1:  // InterfaceHdr
        case 0x0196:  // RRDInfo
        case 0x0138:  // RRDHead
            return true;
        default:
            return false;
    }
}

void decryptRecords(std::vector<std::uint8_t>& stream, const KeyMaker& maker) {
    std::array<std::uint8_t, kBlock> keystream{};
    std::size_t cached = SIZE_MAX;
    auto keyAt = [&](std::size_t offset) {
        const std::size_t block = offset / kBlock;
        if (block != cached) {
            Rc4 rc4(maker.block(static_cast<std::uint32_t>(block)));
            for (auto& byte : keystream) {
                byte = rc4.next();
            }
            cached = block;
        }
        return keystream[offset % kBlock];
    };
    for (std::size_t at = 0; at + 4 <= stream.size();) {
        const std::uint16_t id = le16(&stream[at]);
        const std::size_t length = le16(&stream[at + 2]);
        const std::size_t begin = at + 4;
        const std::size_t end = std::min(stream.size(), begin + length);
        if (!plainRecord(id)) {
            // The sheet offset at the start of a BoundSheet record stays plain.
            for (std::size_t o = id == rt::BoundSheet ? begin + 4 : begin; o < end; ++o) {
                stream[o] ^= keyAt(o);
            }
        }
        at = end;
    }
}

}  // namespace

void decryptStream(std::vector<std::uint8_t>& bytes, const Record& filePass,
                   const RecordStream& stream) {
    const std::string& where = stream.where();
    RecordReader in = stream.reader(filePass);
    const std::uint16_t type = in.u16();
    if (type != 1) {
        refuse(where, " (XOR obfuscation, which is not read)");
    }
    const std::uint16_t major = in.u16();
    const std::uint16_t minor = in.u16();
    KeyMaker maker;
    if (major == 1 && minor == 1) {
        maker = standardKeys(in, where);
    } else if (major >= 2 && major <= 4 && minor == 2) {
        maker = cryptoApiKeys(in, where);
    } else {
        refuse(where, " (an encryption of version " + std::to_string(major) + "." +
                          std::to_string(minor) + ", which is not read)");
    }
    decryptRecords(bytes, maker);
}

}  // namespace office::excel::xls
