#pragma once

#include <QSize>
#include <QString>

// What one picture address answered when the Page Info window fetched it:
// the server's status and type, and what its bytes turned out to be. A page
// names a picture; only the answer tells what it is.
struct PictureAnswer {
    enum class Verdict {
        Unknown,    // not answered yet, or nothing could be told
        Picture,    // its bytes are a picture (decoded, or too large to decode)
        Broken,     // an error status, no answer, or a picture's type with bytes that are none
        NotPicture, // answered, but with something that is not an image (a page, a script)
    };
    Verdict verdict = Verdict::Unknown;
    int status = 0;         // the HTTP status; 0 without one (data:, file:, no answer)
    QString reason;         // the status's words: "Not Found"
    QString contentType;    // the server's Content-Type, lower case, without parameters
    QString decodedType;    // the type its bytes are ("image/png"), once read
    QString problem;        // "404 Not Found", "not an image: text/html"; empty when fine
    QSize naturalSize;      // from the decoded picture; invalid until then
    qint64 bytes = -1;      // the answer's bytes; -1 while unknown
    bool fromBytes = false; // judged from the bytes, not only from the head of the answer

    // The type the picture is: its bytes' type, else the server's; empty while unknown.
    QString type() const { return decodedType.isEmpty() ? contentType : decodedType; }
    // "404 Not Found", "200 OK"; empty without a status.
    QString statusText() const
    {
        if (status <= 0)
            return {};
        return reason.isEmpty() ? QString::number(status)
                                : QString::number(status) + QLatin1Char(' ') + reason;
    }
    bool answered() const { return verdict != Verdict::Unknown; }
};
