#include "HelpText.h"

#include <QStringList>

QString HelpText() {
    static const QStringList lines = {
        QStringLiteral("Kestrel is a simple GUI or wrapper for Untruc-w, the Windows version of "
                       "Untrunc. Untrunc can help you restore MP4 videos that are improperly "
                       "finalized for whatever reason with the help of a reference file."),
        QString(),
        QStringLiteral("Untrunc (Windows version) usage: "),
        QString(),
        QStringLiteral("untrunc-w.exe [options] <workingfile.mp4> [<brokenfile.mp4>]"),
        QString(),
        QStringLiteral("where:"),
        QString(),
        QStringLiteral("'workingfile.mp4' is working file sample from the same encoding setup "
                       "(from the same device),"),
        QStringLiteral("'brokenfile.mp4' is file from aborted recording session (any player "
                       "fails to playback it)."),
        QString(),
        QStringLiteral("The repaired file saved under the same directory as 'brokenfile.mp4' and "
                       "named 'brokenfile.mp4_untrunc.mp4'. The program may create temporary "
                       "files (.tmp) under the same directory."),
        QString(),
        QStringLiteral("Options:"),
        QString(),
        QStringLiteral("--uverbose: Display all untrunc-w messages."),
        QString(),
        QStringLiteral("--ffverbose: Display AV_LOG_INFO level of FFmpeg messages."),
        QString(),
        QStringLiteral("--keeptmp: Do not delete .tmp files after task complete."),
        QString(),
        QStringLiteral("--gopm [n]: Interleaving Mask size in number [n] of GOPs. Default setting "
                       "is 1."),
        QString(),
        QStringLiteral("--gopl [n]: Interleaving Mask loop start in number [n] of GOPs. Default "
                       "setting is 1."),
        QString(),
        QStringLiteral("--smpltrk [0..100]: Use number of samples per chunk instead of using "
                       "Interleaving Mask values. Default is 0 (multi-track mode)."),
        QString(),
        QStringLiteral("--h264alg [10..12]: Algorithm of h264 samples recognition [version "
                       "number]."),
        QString(),
        QStringLiteral("--aacgg [0..127] : AAC (1 channel) low global_gain threshold. Default is "
                       "80."),
        QString(),
        QStringLiteral("--help: Display short help info."),
        QString(),
        QStringLiteral("Good result was achieved for --gopm 12 --gopl 10, with working file "
                       "sample of 25 keyframes."),
    };
    return lines.join(QStringLiteral("\r\n"));
}
