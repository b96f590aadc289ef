// Builders and helpers shared by the GRIB library tests: messages from the
// writer or from octets laid out by hand, files in a temporary directory,
// and decoding from buffers of exactly the message's size (so that the
// sanitizer build catches any read past the end).
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "grib.h"
#include "grib_writer.h"

namespace fixtures {

using Bytes = std::vector<unsigned char>;

inline Bytes encode(const GRIB_WRITE_PARAMS& params, const std::vector<float>& values,
                    GRIB_WRITE_LAYOUT* layout = nullptr)
{
    octets* out = nullptr;
    unsigned long length = 0;
    char err[GRIB_ERRMSG_LEN] = "";
    const int status = grib_encode(&params, values.data(), values.size(), &out, &length, layout, err);
    if (status != 0)
        qFatal("grib_encode failed: %s", err);
    Bytes message(out, out + length);
    free(out);
    return message;
}

// A params for an ni x nj grid of 1-degree steps starting at 60N 0E.
inline GRIB_WRITE_PARAMS smallGrid(int ni, int nj)
{
    GRIB_WRITE_PARAMS params;
    init_grib_write_params(&params);
    params.ni = ni, params.nj = nj, params.lat1 = 60000, params.lon1 = 0;
    params.lat2 = 60000 - (nj - 1) * 1000, params.lon2 = (ni - 1) * 1000, params.di = params.dj = 1000;
    return params;
}

inline std::vector<float> ramp(size_t n, float start = 0.0f, float step = 1.0f)
{
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = start + step * float(i);
    return v;
}

inline void put24(Bytes& b, size_t at, unsigned long v) { grib_put_uint(&b[at], v, 3); }

inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline Bytes filler(size_t n, unsigned char octet = 'x') { return Bytes(n, octet); }

// Hand-laid message: Section 0, the given PDS, optional GDS/BMS, the BDS
// and "7777"; the total length and the PDS flag are filled in.
inline Bytes handMessage(Bytes pds, const Bytes& gds, const Bytes& bms, const Bytes& bds)
{
    pds[7] = (unsigned char)((gds.empty() ? 0 : 128) | (bms.empty() ? 0 : 64));
    Bytes msg = {'G', 'R', 'I', 'B', 0, 0, 0, 1};
    msg = concat({msg, pds, gds, bms, bds, Bytes{'7', '7', '7', '7'}});
    put24(msg, 4, msg.size());
    return msg;
}

// A PDS (28 octets unless longer) with the given level type, octets 11-12
// and decimal scale.
inline Bytes handPds(unsigned char levelType = 1, unsigned char o11 = 0, unsigned char o12 = 0,
                     unsigned char decHigh = 0, unsigned char decLow = 0, size_t length = 28)
{
    Bytes p(length < 28 ? 28 : length, 0);
    put24(p, 0, p.size());
    p[3] = 2, p[4] = 7, p[8] = 11;  // table version, centre, parameter
    p[9] = levelType, p[10] = o11, p[11] = o12;
    p[12] = 9, p[13] = 1, p[14] = 31, p[15] = 18, p[24] = 21;  // 31 Jan (20)09 18:00
    p[17] = 1;  // hours
    p[26] = decHigh, p[27] = decLow;
    return p;
}

// A BDS of simple packing: flag/unused octet, E and R octets as given.
inline Bytes handBds(unsigned char flagUnused, unsigned char e0, unsigned char e1,
                     Bytes reference, unsigned char bits, const Bytes& data)
{
    Bytes b(11 + data.size(), 0);
    put24(b, 0, b.size());
    b[3] = flagUnused, b[4] = e0, b[5] = e1;
    for (size_t i = 0; i < 4 && i < reference.size(); ++i)
        b[6 + i] = reference[i];
    b[10] = bits;
    std::copy(data.begin(), data.end(), b.begin() + 11);
    return b;
}

struct Decoded {
    int status = -1, bitmapStatus = -1;
    std::string error;
    PDS_INPUT pds;
    grid_desc_sec gds;
    BMS_INPUT bms;
    BDS_HEAD_INPUT bds;
    std::vector<float> values;
};

// grib_dec and, when there is a BMS, apply_bitmap, on an exact-size copy.
inline Decoded decode(const Bytes& message, bool withBitmap = true)
{
    Decoded d;
    std::vector<unsigned char> exact(message);
    exact.shrink_to_fit();
    char err[GRIB_ERRMSG_LEN] = "";
    float* data = nullptr;
    init_dec_struct(&d.pds, &d.gds, &d.bms, &d.bds);
    d.status = grib_dec(exact.data(), &d.pds, &d.gds, &d.bds, &d.bms, &data, err);
    if (d.status == 0 && withBitmap && (d.pds.usGds_bms_id & 64))
        d.bitmapStatus = apply_bitmap(&d.bms, &data, -9999.0f, &d.bds, err);
    if (data) {
        d.values.assign(data, data + d.bds.ulGrid_size);
        free(data);
    }
    d.error = err;
    return d;
}

// Decoded fields against the values laid out by hand, as (name, decoded,
// expected); a failure names the field.
inline void compareFields(std::initializer_list<std::tuple<const char*, long, long>> fields)
{
    for (const auto& [name, decoded, expected] : fields)
        QVERIFY2(decoded == expected,
                 qPrintable(QString("%1: %2, expected %3").arg(name).arg(decoded).arg(expected)));
}

class TempFiles {
public:
    QString write(const QString& name, const Bytes& content)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(reinterpret_cast<const char*>(content.data()), qint64(content.size()));
        return path;
    }

private:
    QTemporaryDir dir;
};

// A record for grib_seek, freed when it goes out of scope.
class Header {
public:
    Header()
    {
        char err[GRIB_ERRMSG_LEN] = "";
        init_gribhdr(&gh_, err);
    }
    ~Header() { free_gribhdr(&gh_); }
    Header(const Header&) = delete;
    Header& operator=(const Header&) = delete;
    operator GRIB_HDR*() const { return gh_; }
    GRIB_HDR* operator->() const { return gh_; }

private:
    GRIB_HDR* gh_ = nullptr;
};

struct Seek {
    int status;
    long offset;
    std::string error;
    long msgLength;
};

inline Seek seek(GRIB_HDR* gh, const QString& path, long offset, int readIndex)
{
    char err[GRIB_ERRMSG_LEN] = "";
    const QByteArray name = path.toLocal8Bit();
    Seek s;
    s.status = grib_seek(name.constData(), &offset, readIndex, gh, err);
    s.offset = offset;
    s.error = err;
    s.msgLength = gh->msg_length;
    return s;
}

// Offsets of all messages a forward scan finds, and the final status.
inline std::vector<long> scanAll(const QString& path, int* finalStatus = nullptr)
{
    Header gh;
    std::vector<long> found;
    long offset = 0;
    Seek s;
    for (;;) {
        s = seek(gh, path, offset, 0);
        if (s.status != 0)
            break;
        if (!s.error.empty() || s.msgLength <= 0) {
            offset = s.offset + 1;
            continue;
        }
        found.push_back(s.offset);
        offset = s.offset + s.msgLength;
    }
    if (finalStatus)
        *finalStatus = s.status;
    return found;
}

} // namespace fixtures
