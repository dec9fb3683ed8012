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
// A file without a point: the file, and the first line that held text but
// no point (the second form when there is none).
inline constexpr char kNoReadablePointFormat[] =
    "ファイル「%s」には読み取れる点がありません。\n%lld 行目が点として読めない最初の行です。";
inline constexpr char kNoPointFormat[] = "ファイル「%s」には点がありません。";
// Points, none inside the range: how many, the range (X from, to; Y from,
// to), and the question whether to fit the range to them.
inline constexpr char kNoneInRangeCaption[] = "Varnel";
inline constexpr char kNoneInRangeFormat[] =
    "%lld 個の点を読み込みましたが、範囲 X %s..%s, Y %s..%s に入る点はありません。\n範囲をデータに合わせますか？";

// The number fields of the panel: their names in a message, and the
// message for text that is no number there (the field, then its text).
inline constexpr char kXMinField[] = "X[min]";
inline constexpr char kXMaxField[] = "X[max]";
inline constexpr char kYMinField[] = "Y[min]";
inline constexpr char kYMaxField[] = "Y[max]";
inline constexpr char kXMarkerField[] = "マーカー X";
inline constexpr char kYMarkerField[] = "マーカー Y";
inline constexpr char kNotANumberFormat[] =
    "「%s」の「%s」は数として読めません。\n-1000000000 から 1000000000 までの数を入力してください。";

// The progress of a long load: the dialog's title and its button.
inline constexpr char kLoadingTitle[] = "読み込み中";
inline constexpr char kCancelButton[] = "キャンセル";

// Saving the picture: the render area's context menu, the dialog, and the
// failure, whose text takes the file's path for %s.
inline constexpr char kSavePictureItem[] = "画像を保存...";
// The render area's menu item that fits the plot range to the data file.
inline constexpr char kFitRangeItem[] = "範囲をデータに合わせる";
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
