#pragma once

#include <QStringList>

// The four result lists of a harvest. k = 0: links that lead to picture files;
// k = 1: images of image tags. Entry i of Keys[k] is the file-name key of the
// address in entry i of Links[k].
struct ResultLists {
    QStringList Links[2];
    QStringList Keys[2];

    // Empties Links(0), Keys(0), Links(1) and Keys(1), in this order.
    void clear()
    {
        Links[0].clear();
        Keys[0].clear();
        Links[1].clear();
        Keys[1].clear();
    }
};
