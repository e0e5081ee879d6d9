// Resource and control identifiers, shared by the resource script and the
// code; plain defines so that windres can read them.
#pragma once

#define IconGroupId 2
#define VersionBlockId 1
#define ManifestId 1

#define StartButtonId 1
#define ExitButtonId 2
#define AddButtonId 101
#define ListButtonId 102
#define RemoveButtonId 103
#define RewriteButtonId 104
#define ShowAlteredButtonId 105
#define CreateButtonId 106
#define AlteredLabelId 201
#define HashedLabelId 202
#define UnhashedLabelId 203
#define StatusTextId 204
#define TargetEditId 301
#define AlteredListId 401
#define HashedListId 402
#define UnhashedListId 403
#define OuterFrameId 501
#define UpperListFrameId 502
#define LowerListFrameId 503
#define StatusBarId 601
