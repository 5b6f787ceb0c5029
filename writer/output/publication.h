#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>

#include "writer/engine/fileoutcome.h"
#include "writer/verify/verifier.h"

class RunFolder;

// Reads a copy back: `wrong` is empty when it holds the tag value and the
// source's picture data, else the reason; `note` is for a copy kept. Called
// on worker threads.
using CopyVerifier = std::function<CopyCheck(const QByteArray &sourcePath, const QByteArray &copyPath,
                                             const QString &tagName, const QString &value)>;

// A copy the tool made, on its way to its final name.
struct PublishInput {
    QByteArray source;
    QByteArray output;    // the tool's output in the run folder; empty: the final
                          // name was taken before the tool was asked
    QByteArray finalName; // in the results folder
    QString tagName;
    QString value;
    QString noteWords;    // the tool dropped damaged metadata of the source
    QString noteLines;
    bool sync = true;     // to disk before it gets its name
};

// What became of it.
struct Publication {
    FileOutcome::Kind kind = FileOutcome::Kind::Failed;
    QString reason;
    QString toolLine;
    QString group; // see FileOutcome
};

// Lets the watchdog give up a publication that hangs without racing its
// rename: whichever comes first wins.
class PublishGate {
public:
    bool enterRename() { return advance(Rename); }
    bool giveUp() { return advance(GivenUp); }
    // The run is stopping short: a copy past the gate that is still being
    // written into its claimed name stops there, and the claim goes.
    void cutShort() { m_cut = true; }
    const std::atomic_bool &cut() const { return m_cut; }

private:
    enum State { Working, Rename, GivenUp };
    bool advance(State to)
    {
        int expected = Working;
        return m_state.compare_exchange_strong(expected, to);
    }
    std::atomic<int> m_state{Working};
    std::atomic_bool m_cut{false};
};

// Checks the copy, syncs it and, when it reads back as asked, gives it its
// final name without ever replacing a file; otherwise the tool's output
// goes. A file already under the final name that holds this very value
// counts as written, so a second run finishes what the first left. Blocks on
// the file system: worker threads only.
Publication publishCopy(const PublishInput &input, const CopyVerifier &verifier,
                        const RunFolder &folder, PublishGate &gate,
                        const std::atomic_bool &cancelled);
