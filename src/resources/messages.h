// The texts the program shows. They are in the ANSI code page of the
// program, UTF-8 here.
#pragma once

inline constexpr char kProgramTitle[] = "Varnel";
// The title after a load; the name comes with its length, so that a long
// one is cut at a whole character.
inline constexpr char kTitleFormat[] = "Varnel : %.*s";

// Start-up failures.
inline constexpr char kStartupErrorCaption[] = "エラー";
inline constexpr char kNoMemoryText[] =
    "メモリの確保に失敗しました。\n極端にメモリを使用しているアプリケーションがないか確認してください。";
inline constexpr char kNoPanelText[] =
    "コントロール用ツールボックスの作成に失敗しました。\nウィンドウズのリソースが充分か確認してください。";
inline constexpr char kNoDirectXText[] =
    "DirectX の初期化に失敗しました。\nグラフィックカードとドライバ情報を作者に連絡すると修正されるかもしれません。";

// Data-load failures.
inline constexpr char kDataErrorCaption[] = "ERROR";
inline constexpr char kCannotOpenText[] =
    "選択されたファイルを開くことができませんでした。\n別のプログラムで対象ファイルを開いていないか確認してください。";
// The reason given for a device or pipe chosen as a data file (the cannot-open
// text is followed by the file and the system's reason).
inline constexpr char kNotARegularFile[] = "Not a regular file";
// A path longer than the 1023 bytes the program keeps for one.
inline constexpr char kPathTooLongText[] =
    "ファイルのパスが長すぎるため開けませんでした。\nパスは 1023 バイトまでにしてください。";
inline constexpr char kNoFieldText[] = "プロットデータを作成できませんでした。\nメモリ不足の可能性があります。";

// Saving the picture: the render area's context menu, the dialog, and the
// failure, whose text takes the file's path for %s.
inline constexpr char kSavePictureItem[] = "画像を保存...";
inline constexpr char kSaveDialogTitle[] = "画像の保存";
inline constexpr char kPictureFilter[] = "PNG\0*.png\0";
inline constexpr char kPictureExtension[] = "png";
inline constexpr const char* kSaveErrorCaption = kDataErrorCaption;
inline constexpr char kCannotSaveFormat[] =
    "画像ファイル「%s」に書き込めませんでした。\n保存先のフォルダに書き込めるか、空き容量が充分か確認してください。";

// The file dialogs: titles, and filters as double-null-terminated pairs.
inline constexpr char kDataDialogTitle[] = "データファイル選択";
inline constexpr char kTextureDialogTitle[] = "テクスチャファイル選択";
inline constexpr char kDataFilter[] = "all type\0*.*\0";
// Every kind of file the texture loader reads, first; then everything.
inline constexpr char kTextureFilter[] =
    "画像ファイル\0*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.tga;*.dds;*.ppm;*.pgm;*.pnm;*.hdr;*.pfm\0すべてのファイル\0*.*\0";

// The picture's own words: the axes' names beside their edges, the height
// scale's unit, and the status line, which takes the data file's name and
// the counts of points read and in range (then, where there were any, the
// count of lines rejected) for its %s.
inline constexpr char kAxisXName[] = "X";
inline constexpr char kAxisYName[] = "Y";
inline constexpr char kHeightScaleUnit[] = "点/セル";
inline constexpr char kStatusLineFormat[] = "%s — %s 点、範囲内 %s 点";
inline constexpr char kStatusRejectedFormat[] = "、不正な行 %s 行";
