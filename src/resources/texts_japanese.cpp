// The program's texts in Japanese, in the ANSI code page of the program
// (UTF-8 here).
#include "resources/texts.h"

// clang-format off
constexpr TextRow kJapaneseTexts[kTextCount] = {
    {TextId::program_title, "Varnel"},
    {TextId::title_format, "Varnel : %.*s"},
    {TextId::startup_error_caption, "エラー"},
    {TextId::no_memory, "メモリの確保に失敗しました。\n極端にメモリを使用しているアプリケーションがないか確認してください。"},
    {TextId::no_panel, "コントロール用ツールボックスの作成に失敗しました。\nウィンドウズのリソースが充分か確認してください。"},
    {TextId::no_direct3d, "DirectX の初期化に失敗しました。\nグラフィックカードとドライバ情報を作者に連絡すると修正されるかもしれません。"},
    {TextId::data_error_caption, "ERROR"},
    {TextId::cannot_open, "選択されたファイルを開くことができませんでした。\n別のプログラムで対象ファイルを開いていないか確認してください。"},
    {TextId::not_a_regular_file, "通常のファイルではありません"},
    {TextId::path_too_long, "ファイルのパスが長すぎるため開けませんでした。\nパスは 1023 バイトまでにしてください。"},
    {TextId::no_field, "プロットデータを作成できませんでした。\nメモリ不足の可能性があります。"},
    {TextId::save_picture_item, "画像を保存..."},
    {TextId::save_dialog_title, "画像の保存"},
    {TextId::colour_map_menu, "カラーマップ"},
    {TextId::grey_map_item, "グレー"},
    {TextId::smoothing_menu, "平滑化"},
    {TextId::no_smoothing_item, "なし"},
    {TextId::log_scale_item, "対数スケール"},
    {TextId::texture_only_item, "テクスチャのみ"},
    {TextId::show_axes_item, "軸と目盛りを表示"},
    {TextId::cannot_save_format, "画像ファイル「%s」に書き込めませんでした。\n保存先のフォルダに書き込めるか、空き容量が充分か確認してください。"},
    {TextId::data_dialog_title, "データファイル選択"},
    {TextId::texture_dialog_title, "テクスチャファイル選択"},
    {TextId::data_filter, "all type\0*.*\0"},
    {TextId::texture_filter, "画像ファイル\0*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.tga;*.dds;*.ppm;*.pgm;*.pnm;*.hdr;*.pfm\0すべてのファイル\0*.*\0"},
    {TextId::axis_x_name, "X"},
    {TextId::axis_y_name, "Y"},
    {TextId::height_scale_unit, "点/セル"},
    {TextId::status_line_format, "%s — %s 点、範囲内 %s 点"},
    {TextId::status_rejected_format, "、不正な行 %s 行"},
    {TextId::panel_plot_data, "プロットデータ"},
    {TextId::panel_load, "読み込み"},
    {TextId::panel_texture, "テクスチャ"},
    {TextId::panel_clear, "クリア"},
    {TextId::panel_marker, "マーカー"},
    {TextId::panel_set, "設定"},
    {TextId::panel_camera, "カメラ位置"},
    {TextId::panel_distance, "距離"},
    {TextId::panel_azimuth, "方位角"},
    {TextId::panel_elevation, "仰角"},
};
// clang-format on
static_assert(rows_follow_the_ids(kJapaneseTexts));
