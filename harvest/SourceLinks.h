#pragma once

// What the Source Code page and the Source Code view share: which places of the
// recorded file names are linked, and how an address is written in an attribute.
// Both link the same places the same way, so that the view shows the file's links.

#include "harvest/ByteSink.h"
#include "harvest/Harvest.h"
#include "harvest/NameLinker.h"
#include "harvest/Utf8Lists.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace harvest::detail {

// The size of a UTF-8 address as writeAttributeSafe() writes it.
qsizetype attributeSafeSize(QByteArrayView address);

// Writes a UTF-8 address as AttributeSafe() writes it (in UTF-8); controls: with the
// C0 control characters other than tab, CR and LF shown as VisibleControls() shows
// them instead. Works in pieces, so that an address of any length fits the sink's
// room.
void writeAttributeSafe(ByteSink &out, QByteArrayView address, bool controls = false);

// The recorded file names of a page and the places of them that get an anchor,
// within the page's limits.
class PageLinks {
public:
    // What each linked name needs, by its id: its address, and the length of its
    // opening anchor once first linked (-1 before).
    struct Target {
        const char *address;
        qsizetype addressLength;
        qsizetype open;
        qsizetype anchor = -1; // where the Source Code page keeps its whole anchor, if it does
        qsizetype anchorLength = 0;
        bool linkedBefore = false;

        QByteArrayView addressBytes() const { return QByteArrayView(address, addressLength); }
        // True when the address has nothing to escape in an attribute.
        bool plain() const { return open == 9 + addressLength + 2; }
    };

    PageLinks(QByteArrayView pageText, const Utf8Lists &lists);

    // Calls linked(match, target) for every place that gets an anchor, in page order,
    // and counts the places into counts(). May run again: it counts afresh.
    template <class Linked> void find(Linked &&linked);

    const SourcePageCuts &counts() const { return m_counts; }
    const Limits &limits() const { return m_limits; }

private:
    QByteArrayView m_text;
    Limits m_limits;
    SourcePageCuts m_counts;
    NameLinker m_linker;
    std::vector<Target> m_targets;
};

template <class Linked> void PageLinks::find(Linked &&linked)
{
    m_counts.occurrences = 0;
    m_counts.linked = 0;
    for (Target &target : m_targets)
        target.open = -1;
    qsizetype anchorBytesLeft = m_limits.anchorBytes;
    const auto link = [&](const NameLinker::Match &match) {
        ++m_counts.occurrences;
        Target &target = m_targets[size_t(match.id)];
        if (target.open < 0 && anchorBytesLeft > 0)
            target.open = 9 + attributeSafeSize(target.addressBytes()) + 2;
        // Once one anchor does not fit, none after it is made.
        const qsizetype cost = target.open + 4;
        if (m_counts.linked < m_counts.occurrences - 1 || target.open < 0 || cost > anchorBytesLeft)
            return;
        anchorBytesLeft -= cost;
        ++m_counts.linked;
        linked(match, target);
    };
    m_linker.findAllByWindow(m_text, [&](const NameLinker::Match *matches, qsizetype count) {
        // The targets of the matches a little ahead are asked for early: they lie
        // all over the lists.
        constexpr qsizetype kAhead = 8;
        for (qsizetype i = 0; i < qMin(count, kAhead); ++i)
            __builtin_prefetch(&m_targets[size_t(matches[i].id)]);
        for (qsizetype i = 0; i < count; ++i) {
            if (i + kAhead < count)
                __builtin_prefetch(&m_targets[size_t(matches[i + kAhead].id)]);
            if (i + kAhead / 2 < count)
                __builtin_prefetch(m_targets[size_t(matches[i + kAhead / 2].id)].address);
            link(matches[i]);
        }
    });
}

// The frame around the blocks of the Images page: what comes before the first
// block (the notice, when there is one), between them and after the last.
class ImageBlockFrame {
public:
    virtual ~ImageBlockFrame() = default;
    virtual void begin(ByteSink &sink, QByteArrayView notice) = 0;
    virtual void beforeBlock(ByteSink &, qsizetype /*index*/) {}
    virtual void end(ByteSink &, qsizetype /*blocks*/) {}
    // The caption of a data: address is its first 60 characters and "…": the
    // picture's own bytes are no caption. The blocks are those of the whole captions.
    virtual bool shortDataCaptions() const { return false; }
};

// The Images page's blocks in the frame; see WriteImagePage().
void writeImageBlocks(const Utf8Lists &lists, qsizetype byteLimit, ByteSink &sink,
                      ImageBlockFrame &frame, qsizetype *shown);

} // namespace harvest::detail
