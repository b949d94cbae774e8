// A raw deflate or inflate stream that is ended whatever way its owner leaves.
#pragma once

#include <zlib.h>

class CZipStream {
public:
    CZipStream() = default;
    ~CZipStream()
    {
        if (m_state == Deflating)
            deflateEnd(&z);
        else if (m_state == Inflating)
            inflateEnd(&z);
    }
    CZipStream(const CZipStream&) = delete;
    CZipStream& operator=(const CZipStream&) = delete;

    // No zlib header or trailer: the zip records carry sizes and CRC themselves.
    int InitDeflate(int level)
    {
        const int r = deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (r == Z_OK)
            m_state = Deflating;
        return r;
    }
    int InitInflate()
    {
        const int r = inflateInit2(&z, -MAX_WBITS);
        if (r == Z_OK)
            m_state = Inflating;
        return r;
    }

    z_stream z{};

private:
    enum { Idle, Deflating, Inflating } m_state = Idle;
};
