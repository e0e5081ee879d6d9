// The digest viewer: a double-click in "Files with Hash:" shows the stored
// digest of that file as hexadecimal text.
#include "store/operation_state.h"
#include "ui/target_text.h"
#include "ui/viewer_text.h"
#include "ui/window.h"

void DigestViewer() {
    // With no selection the list answers LB_ERR, which must not become a
    // length: nothing to show then.
    LRESULT selected = SendMessageW(Controls.HashedList, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return;
    LRESULT length = SendMessageW(Controls.HashedList, LB_GETTEXTLEN, selected, 0);
    // Entries come from PathBuffer and are shorter; anything else is not ours.
    if (length == LB_ERR || length >= PathBufferUnits) return;
    GrowTargetText(ViewerTextUnits(static_cast<int>(length)));
    if (ViewerTextUnits(static_cast<int>(length)) > TargetCapacity) return;
    LRESULT n = SendMessageW(Controls.HashedList, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(TargetText + 4));
    if (n == LB_ERR) return;

    const PathChar* path = PrepareViewerFilePath(TargetText, static_cast<int>(n));
    EntryPlace place = {NoFile, path, path};
    FileHandle file = OpenFileForStreams(place);
    if (file == NoFile) return;
    uint8_t digest[64];
    int k = ReadStream(file, path, DigestStream, digest, 64);
    CloseFile(file);
    if (k < 0) return;
    const PathChar* text = FinishViewerText(TargetText, static_cast<int>(n), digest, k);
    MessageBoxW(MainWindow, text, L"Hash", MB_OK);
}
