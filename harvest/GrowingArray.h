#pragma once

#include <QtGlobal>

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace harvest {

// An array of plain values that grows at its end through realloc(). The C library
// moves a large block to its new size by remapping its pages rather than copying
// them (the containers of Qt and of the standard library allocate a new block and
// copy), so a list that grows to megabytes touches its memory once, not twice.
template <typename T> class GrowingArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    GrowingArray() = default;
    GrowingArray(const GrowingArray &other) { append(other.data(), other.size()); }
    GrowingArray(GrowingArray &&other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
          m_capacity(std::exchange(other.m_capacity, 0))
    {
    }
    GrowingArray &operator=(GrowingArray other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        return *this;
    }
    ~GrowingArray() { std::free(m_data); }

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    T *data() { return m_data; }
    const T *data() const { return m_data; }
    T &operator[](qsizetype i) { return m_data[i]; }
    const T &operator[](qsizetype i) const { return m_data[i]; }
    const T &last() const { return m_data[m_size - 1]; }

    void append(const T &value)
    {
        if (m_size == m_capacity)
            grow(m_size + 1);
        m_data[m_size++] = value;
    }
    void append(const T *values, qsizetype count)
    {
        if (count <= 0)
            return;
        if (m_size + count > m_capacity)
            grow(m_size + count);
        std::memcpy(static_cast<void *>(m_data + m_size), values, size_t(count) * sizeof(T));
        m_size += count;
    }
    // Makes the array `size` long; new values are left as they are.
    void resizeForOverwrite(qsizetype size)
    {
        if (size > m_capacity)
            grow(size);
        m_size = size;
    }
    void truncate(qsizetype size) { m_size = qMin(m_size, size); }
    void clear() { m_size = 0; }
    void reserve(qsizetype capacity)
    {
        if (capacity > m_capacity)
            resize(capacity);
    }

private:
    void grow(qsizetype needed) { resize(qMax(needed, qMax<qsizetype>(16, 2 * m_capacity))); }
    void resize(qsizetype capacity)
    {
        void *grown = std::realloc(m_data, size_t(capacity) * sizeof(T));
        if (!grown)
            throw std::bad_alloc();
        m_data = static_cast<T *>(grown);
        m_capacity = capacity;
    }

    T *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

} // namespace harvest
