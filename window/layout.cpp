#include "layout.h"

#include <algorithm>
#include <stdexcept>

// clang-format off
const std::array<PlacedControl, 28> placedControls{{
    // name         kind                  caption                                  left   top  width high  tab  alignment          framed
    {"lblPath",     ControlKind::Label,   "Path To DataBase",                    {  120,    0,  1455, 255},   0, Alignment::Centre, false},
    {"txtPath",     ControlKind::TextBox, "c:\\pelmora",                         { 1680,    0,  7095, 285},   1, Alignment::Left,   false},
    {"lblCurrLoc",  ControlKind::Label,   "",                                    {  240,  360, 10455, 255},   4, Alignment::Centre, false},
    {"lblAvail",    ControlKind::Label,   "Available programs on this station:", {    0,  720, 12375, 375},   5, Alignment::Centre, true},
    {"lblFMMenu",   ControlKind::Label,   "File Maintenance Menus:",             {    0, 1080,  5055, 255},   6, Alignment::Centre, true},
    {"Label1",      ControlKind::Label,   "Processing Menu:",                    { 5160, 1080,  2535, 255},  79, Alignment::Centre, true},
    {"lblReports",  ControlKind::Label,   "Reports Menu (Continued):",           { 8040, 1080,  4335, 255},  45, Alignment::Centre, true},
    {"lblTipJars",  ControlKind::Label,   "Tip Jars -->",                        {  360, 1320,  1575, 255},   7, Alignment::Centre, true},
    {"lblGift",     ControlKind::Label,   "Gifts -->",                           { 2520, 1320,  2295, 255},  88, Alignment::Centre, true},
    {"lblRegUp",    ControlKind::Label,   "Register Updates -->",                { 5400, 1440,  1575, 255},  32, Alignment::Right,  true},
    {"lblSales",    ControlKind::Label,   "Statistical Reports -->",             {10680, 2280,  1695, 255},  68, Alignment::Right,  true},
    {"lblWork",     ControlKind::Label,   "Workstations -->",                    { 2520, 2520,  2295, 255}, 102, Alignment::Centre, true},
    {"lblPer",      ControlKind::Label,   "Periodic Updates -->",                { 5400, 3000,  1575, 255},  37, Alignment::Right,  true},
    {"lblFLF",      ControlKind::Label,   "POS -->",                             {  120, 3240,  2175, 255},  14, Alignment::Centre, true},
    {"Label3",      ControlKind::Label,   "Jurisdictional -->",                  { 8280, 3480,  1695, 255},  81, Alignment::Centre, true},
    {"lblSR",       ControlKind::Label,   "Sales Reports -->",                   {10680, 3480,  1695, 255},  72, Alignment::Centre, true},
    {"lblUtil",     ControlKind::Label,   "Utilities -->",                       { 2520, 3780,  2295, 255},  29, Alignment::Centre, true},
    {"lblFooLiq",   ControlKind::Label,   "Food/Liquor Files -->",               {  360, 4080,  2055, 255}, 127, Alignment::Centre, true},
    {"lblInq",      ControlKind::Label,   "Inquiries Menu:",                     { 5160, 4800,  2535, 255},  43, Alignment::Centre, true},
    {"lblGiftRep",  ControlKind::Label,   "Gift Reports -->",                    {10680, 5160,  1695, 255},  97, Alignment::Centre, true},
    {"lblBingo",    ControlKind::Label,   "Bingo -->",                           { 2520, 5340,  2295, 255}, 113, Alignment::Centre, true},
    {"lblDaily",    ControlKind::Label,   "Daily -->",                           { 8400, 5400,  1695, 255},  57, Alignment::Centre, true},
    {"Label2",      ControlKind::Label,   "Reports Menu",                        { 5160, 5880,  2535, 255},  80, Alignment::Centre, true},
    {"lblMast",     ControlKind::Label,   "Master File Reports -->",             { 5400, 6240,  1815, 255},  46, Alignment::Right,  true},
    {"cmdCheckAll", ControlKind::Button,  "CHECK ALL",                           {10920, 7200,  1215, 495}, 125, Alignment::Left,   false},
    {"cmdOk",       ControlKind::Button,  "OK",                                  { 5160, 7800,  1215, 495},   2, Alignment::Left,   false},
    {"cmdQuit",     ControlKind::Button,  "QUIT",                                { 6600, 7800,  1215, 495},   3, Alignment::Left,   false},
    {"cmdClearAll", ControlKind::Button,  "CLEAR ALL",                           {10920, 7800,  1215, 495}, 126, Alignment::Left,   false},
}};
// clang-format on

// clang-format off
const std::array<PlacedBox, 100> placedBoxes{{
    // name           left   top  width high  tab  under
    {"chkTTT",      {  360, 1680,  1935, 255},   8, "lblTipJars"},
    {"chkJTP",      {  360, 1920,  1935, 255},   9, "lblTipJars"},
    {"chkJPOP",     {  360, 2160,  1935, 255},  10, "lblTipJars"},
    {"chkAMTJ",     {  360, 2400,  1935, 255},  11, "lblTipJars"},
    {"chkManM",     {  360, 2640,  2055, 255}, 100, "lblTipJars"},
    {"chkDistM",    {  360, 2880,  2295, 255}, 101, "lblTipJars"},
    {"chkAME",      {  120, 3600,  2295, 195},  12, "lblFLF"},
    {"chkSM",       {  120, 3840,  2295, 195},  13, "lblFLF"},
    {"chkDM",       {  360, 4440,  2055, 255},  15, "lblFooLiq"},
    {"chkTC",       {  360, 4680,  2055, 255},  16, "lblFooLiq"},
    {"chkFLK",      {  360, 4920,  2055, 255},  17, "lblFooLiq"},
    {"chkKP",       {  360, 5160,  2055, 255},  18, "lblFooLiq"},
    {"chkFLP",      {  360, 5400,  2055, 255},  19, "lblFooLiq"},
    {"chkPP",       {  360, 5640,  2055, 255},  20, "lblFooLiq"},
    {"chkPOC",      {  360, 5880,  2055, 255},  21, "lblFooLiq"},
    {"chkPOP",      {  360, 6120,  2055, 255},  22, "lblFooLiq"},
    {"chkTK",       {  360, 6360,  2055, 255},  23, "lblFooLiq"},
    {"chkTP",       {  360, 6600,  2055, 255},  24, "lblFooLiq"},
    {"chkPLS",      {  360, 6840,  2055, 255},  25, "lblFooLiq"},
    {"chkBPC",      {  360, 7080,  2055, 255},  84, "lblFooLiq"},
    {"chkBAUD",     {  360, 7320,  2055, 195},  85, "lblFooLiq"},
    {"chkGTKD",     {  360, 7560,  2055, 255},  26, "lblFooLiq"},
    {"chkMT",       {  360, 7800,  2055, 255},  27, "lblFooLiq"},
    {"chkMM",       {  360, 8040,  2055, 255},  28, "lblFooLiq"},
    {"chkGAT",      { 2520, 1560,  1815, 255},  89, "lblGift"},
    {"chkEGR",      { 2520, 1800,  1815, 255},  90, "lblGift"},
    {"chkBAUG",     { 2520, 2040,  1815, 255},  91, "lblGift"},
    {"chkPEG",      { 2520, 2280,  1815, 255},  92, "lblGift"},
    {"chkPT",       { 2520, 2760,  1935, 255}, 103, "lblWork"},
    {"chkWSU",      { 2520, 3000,  1935, 255}, 104, "lblWork"},
    {"chkKC",       { 2520, 3240,  1935, 255}, 105, "lblWork"},
    {"chkST",       { 2520, 3480,  1815, 255}, 106, "lblWork"},
    {"chkDCRT",     { 2520, 4080,  1935, 195},  87, "lblUtil"},
    {"chkCD",       { 2520, 4320,  1815, 195},  30, "lblUtil"},
    {"chkRD",       { 2520, 4560,  1815, 195},  31, "lblUtil"},
    {"chkIK",       { 2520, 4800,  1815, 255}, 107, "lblUtil"},
    {"chkCED",      { 2520, 5040,  2055, 255}, 108, "lblUtil"},
    {"chkBinSM",    { 2520, 5640,  2295, 195}, 114, "lblBingo"},
    {"chkBinPP",    { 2520, 5880,  2055, 195}, 115, "lblBingo"},
    {"chkBinT",     { 2520, 6120,  2295, 195}, 116, "lblBingo"},
    {"chkBinSess",  { 2520, 6360,  2415, 195}, 117, "lblBingo"},
    {"chkBinSS",    { 2520, 6600,  2415, 195}, 118, "lblBingo"},
    {"chkBinPO",    { 2520, 6840,  2415, 195}, 119, "lblBingo"},
    {"chkBinPro",   { 2520, 7080,  2415, 195}, 120, "lblBingo"},
    {"chkBinHS",    { 2520, 7320,  2415, 195}, 121, "lblBingo"},
    {"chkBinHPO",   { 2520, 7560,  2415, 195}, 122, "lblBingo"},
    {"chkBinHPro",  { 2520, 7800,  2415, 195}, 123, "lblBingo"},
    {"chkBinPurge", { 2520, 8040,  2415, 195}, 124, "lblBingo"},
    {"chkISFR",     { 5400, 1800,  2295, 255},  33, "lblRegUp"},
    {"chkURE",      { 5400, 2040,  2295, 255},  34, "lblRegUp"},
    {"chkUT",       { 5400, 2280,  2295, 255},  35, "lblRegUp"},
    {"chkIVB",      { 5160, 2640,  2055, 255},  36, "Label1"},
    {"chkPOTJ",     { 5400, 3360,  2055, 255},  38, "lblPer"},
    {"chkMFLC",     { 5400, 3600,  2175, 255},  39, "lblPer"},
    {"chkYFLC",     { 5400, 3840,  2175, 255},  40, "lblPer"},
    {"chkPSH",      { 5400, 4080,  2175, 255},  41, "lblPer"},
    {"chkPJH",      { 5400, 4320,  2175, 255},  42, "lblPer"},
    {"chkVEJ",      { 5160, 5160,  2415, 255},  44, "lblInq"},
    {"chkMRA",      { 5160, 5400,  2295, 255},  86, "lblInq"},
    {"chkIM",       { 5400, 6600,  1815, 195},  76, "lblMast"},
    {"chkEM",       { 5400, 6840,  1575, 195},  47, "lblMast"},
    {"chkJT",       { 5400, 7080,  1575, 255},  48, "lblMast"},
    {"chkDepM",     { 5400, 7320,  1695, 255},  49, "lblMast"},
    {"chkPM",       { 8280, 1440,  1695, 255},  50, "lblReports"},
    {"chkKM",       { 8280, 1680,  1695, 255},  51, "lblReports"},
    {"chkTM",       { 8280, 1920,  1695, 255},  52, "lblReports"},
    {"chkPOM",      { 8280, 2160,  1695, 255},  53, "lblReports"},
    {"chkModM",     { 8280, 2400,  1695, 255},  77, "lblReports"},
    {"chkTempM",    { 8280, 2640,  1695, 255},  78, "lblReports"},
    {"chkDMR",      { 8280, 2880,  1695, 255},  93, "lblReports"},
    {"chkT",        { 8280, 3120,   975, 195},  54, "lblReports"},
    {"chkQ",        { 8280, 3840,  1575, 255},  55, "Label3"},
    {"chkLCB",      { 8280, 4080,  1455, 255},  82, "Label3"},
    {"chkWRep",     { 8280, 4320,  1455, 255},  83, "Label3"},
    {"chkIR",       { 8280, 4560,  1455, 255}, 109, "Label3"},
    {"chkPO",       { 8280, 4800,  1575, 255}, 110, "Label3"},
    {"chkBB",       { 8040, 5160,  1575, 195},  56, "lblReports"},
    {"chkDCR",      { 8400, 5760,  1695, 255},  94, "lblDaily"},
    {"chkOTR",      { 8400, 6000,  1695, 255},  58, "lblDaily"},
    {"chkDS",       { 8400, 6240,  1695, 255},  59, "lblDaily"},
    {"chkJS",       { 8400, 6480,  1695, 255},  60, "lblDaily"},
    {"chkPS",       { 8400, 6720,  1695, 255},  61, "lblDaily"},
    {"chkKS",       { 8400, 6960,  1695, 255},  62, "lblDaily"},
    {"chkCR",       { 8400, 7200,  1695, 255},  63, "lblDaily"},
    {"chkSR",       { 8400, 7440,  1695, 255},  64, "lblDaily"},
    {"chkMD",       { 8400, 7680,  1695, 255},  65, "lblDaily"},
    {"chkCDT",      { 8400, 7920,  1695, 255},  66, "lblDaily"},
    {"chkMJS",      {10320, 1440,  1695, 195},  67, "lblReports"},
    {"chkJA",       {10320, 1680,  1695, 255}, 111, "lblReports"},
    {"chkJSum",     {10320, 1920,  1935, 255}, 112, "lblReports"},
    {"chkMYDR",     {10680, 2640,  1815, 255},  69, "lblSales"},
    {"chkMYPR",     {10680, 2880,  1695, 255},  70, "lblSales"},
    {"chkMYKR",     {10680, 3120,  1815, 255},  71, "lblSales"},
    {"chkDSR",      {10680, 3840,  1695, 255},  73, "lblSR"},
    {"chkKSR",      {10680, 4080,  1695, 255},  74, "lblSR"},
    {"chkPSR",      {10680, 4320,  1695, 255},  75, "lblSR"},
    {"chkHSR",      {10680, 4560,  1695, 255},  95, "lblSR"},
    {"chkCSR",      {10680, 4800,  1815, 195},  96, "lblSR"},
    {"chkGTH",      {10680, 5520,  1815, 255},  98, "lblGiftRep"},
    {"chkGMR",      {10680, 5760,  1815, 255},  99, "lblGiftRep"},
}};
// clang-format on

// clang-format off
const std::array<LineEnds, 4> lineEnds{{
    // name   x1    y1    x2    y2
    {"Line1", 5040, 1080, 5040, 8280},
    {"Line2", 7920, 1080, 7920, 8280},
    {"Line3", 5040, 4680, 7920, 4680},
    {"Line5", 5040, 5760, 7920, 5760},
}};

const std::array<LabelFont, 2> labelFonts{{
    // label       face              points  bold   italic
    {"lblAvail",   "Times New Roman",  12.0, true,  false},
    {"lblCurrLoc", "Times New Roman",  9.75, false, true},
}};
// clang-format on

const PlacedBox& placedBox(std::string_view name) {
    const auto it = std::ranges::find(placedBoxes, name, &PlacedBox::name);
    if (it == placedBoxes.end())
        throw std::out_of_range("no check box named " + std::string(name));
    return *it;
}

const PlacedControl& placedControl(std::string_view name) {
    const auto it = std::ranges::find(placedControls, name, &PlacedControl::name);
    if (it == placedControls.end())
        throw std::out_of_range("no control named " + std::string(name));
    return *it;
}
