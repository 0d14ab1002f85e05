#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>

namespace harvest {

// Where a generated file's bytes go. They are gathered in a buffer that the sink
// does not own (one buffer serves file after file, so its memory is touched once)
// and handed on a buffer at a time; the makers write small pieces through inline
// copies, with no call per piece.
class ByteSink {
public:
    virtual ~ByteSink() = default;

    void write(QByteArrayView bytes)
    {
        if (bytes.size() <= m_end - m_at) {
            if (!bytes.isEmpty())
                std::memcpy(m_at, bytes.data(), size_t(bytes.size()));
            m_at += bytes.size();
            return;
        }
        writeLong(bytes);
    }
    void put(char c)
    {
        if (m_at == m_end)
            drainBuffer();
        *m_at++ = c;
    }

    // Room for `bytes` bytes (at most kRoom) written straight through the pointer,
    // then given back with commit(the end of what was written).
    static constexpr qsizetype kRoom = qsizetype(8) << 10;
    char *room(qsizetype bytes)
    {
        if (bytes > m_end - m_at)
            drainBuffer();
        return m_at;
    }
    void commit(char *end) { m_at = end; }

    // Hands on what the buffer holds.
    void flush() { drainBuffer(); }
    // Throws away everything written so far, handed on or not.
    void restart()
    {
        m_at = m_begin;
        discard();
    }

protected:
    // The buffer must hold at least 2 * kRoom bytes.
    void setBuffer(char *buffer, qsizetype capacity)
    {
        m_begin = m_at = buffer;
        m_end = buffer + capacity;
    }
    // Takes bytes that leave the buffer, in the order written.
    virtual void take(QByteArrayView bytes) = 0;
    // Forgets every byte taken so far.
    virtual void discard() = 0;

private:
    void drainBuffer()
    {
        if (m_at != m_begin)
            take(QByteArrayView(m_begin, m_at - m_begin));
        m_at = m_begin;
    }
    void writeLong(QByteArrayView bytes)
    {
        drainBuffer();
        if (bytes.size() >= m_end - m_begin) {
            take(bytes);
            return;
        }
        std::memcpy(m_at, bytes.data(), size_t(bytes.size()));
        m_at += bytes.size();
    }

    char *m_begin = nullptr;
    char *m_at = nullptr;
    char *m_end = nullptr;
};

// A sink into a byte array, for the callers that want a page whole.
class ByteArraySink : public ByteSink {
public:
    explicit ByteArraySink(QByteArray &out) : m_out(out) { setBuffer(m_buffer, sizeof m_buffer); }
    ~ByteArraySink() override { flush(); }

protected:
    void take(QByteArrayView bytes) override { m_out.append(bytes); }
    void discard() override { m_out.clear(); }

private:
    QByteArray &m_out;
    char m_buffer[4 * kRoom];
};

// A sink that keeps nothing: for a page made only to count what it would hold.
class NullSink : public ByteSink {
public:
    NullSink() { setBuffer(m_buffer, sizeof m_buffer); }

protected:
    void take(QByteArrayView) override {}
    void discard() override {}

private:
    char m_buffer[2 * kRoom];
};

} // namespace harvest
