// Resource ids of the program: dialogs, bitmaps, icon, menu, strings, menu commands and the
// items of the dialogs.
#pragma once

// Dialog templates.
inline constexpr unsigned IDD_ABOUTBOX = 100;
inline constexpr unsigned IDD_SORVEL_DIALOG = 102;
inline constexpr unsigned IDD_BATCH = 144;
inline constexpr unsigned IDD_EFFECT_DIALOG = 103;
inline constexpr unsigned IDD_SETTING_DIALOG = 145;

// Strings.
inline constexpr unsigned IDS_ABOUTBOX = 101;

// Icon.
inline constexpr unsigned IDR_MAINFRAME = 128;

// Button images.
inline constexpr unsigned IDB_STOP_IDLE = 129;      // STOP with nothing running (greyed)
inline constexpr unsigned IDB_EXIT = 130;
inline constexpr unsigned IDB_OPEN = 131;           // OPEN available
inline constexpr unsigned IDB_OPEN_ACTIVE = 132;    // OPEN lit: a file run is going
inline constexpr unsigned IDB_OPEN_GREY = 133;      // OPEN unavailable (live run)
inline constexpr unsigned IDB_LIVE = 134;           // LIVE available
inline constexpr unsigned IDB_LIVE_ACTIVE = 135;    // LIVE lit: a live run is going
inline constexpr unsigned IDB_LIVE_GREY = 136;      // LIVE unavailable (file run)
inline constexpr unsigned IDB_PLAY_PAUSE = 137;     // PLAY while a file plays: pressing pauses
inline constexpr unsigned IDB_PLAY_GREY_LIVE = 138; // PLAY during a live run (greyed)
inline constexpr unsigned IDB_PLAY = 139;           // PLAY: pressing plays or resumes
inline constexpr unsigned IDB_PLAY_GREY = 140;      // PLAY with nothing to replay (greyed)
inline constexpr unsigned IDB_STOP = 141;           // STOP during a run
inline constexpr unsigned IDB_HELP = 143;

// Popup menu and its commands.
inline constexpr unsigned IDR_POPUP_MENU = 142;
inline constexpr unsigned ID_HELP_SHOW = 32771;
inline constexpr unsigned ID_VERSION = 32772;
inline constexpr unsigned ID_SETTING = 32774;
// Window-menu command of the about box.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;

// Items of the main dialog (102).
inline constexpr int IDC_LIVE = 1000;
inline constexpr int IDC_STOP = 1001;
inline constexpr int IDC_PLAY = 1002;
inline constexpr int IDC_SLIDER_PITCH = 1003;
inline constexpr int IDC_SLIDER_FORMANT = 1004;
inline constexpr int IDC_PITCH_VALUE = 1005;
inline constexpr int IDC_FORMANT_VALUE = 1006;
inline constexpr int IDC_MAN_TO_WOMAN = 1007;
inline constexpr int IDC_WOMAN_TO_MAN = 1008;
inline constexpr int IDC_RESET = 1009;
inline constexpr int IDC_CHORUS_FILE = 1010;
inline constexpr int IDC_PRESET1 = 1011;
inline constexpr int IDC_CORR_TH = 1012;
inline constexpr int IDC_EXIT = 1013;
inline constexpr int IDC_NOTE = 1015;
inline constexpr int IDC_OPEN = 1016;
inline constexpr int IDC_SAVE = 1017;
inline constexpr int IDC_TIME = 1018;
inline constexpr int IDC_MIN_KEY = 1019;
inline constexpr int IDC_THRU = 1020;
inline constexpr int IDC_MAX_KEY = 1021;
inline constexpr int IDC_ORIGINAL = 1022;
inline constexpr int IDC_PRESET2 = 1023;
inline constexpr int IDC_TD_PSOLA = 1025;
inline constexpr int IDC_PHASE_VOCODER = 1026;
inline constexpr int IDC_PITCH_LABEL = 1027;
inline constexpr int IDC_FORMANT_LABEL = 1028;
inline constexpr int IDC_PRESET3 = 1029;
inline constexpr int IDC_PRESET4 = 1030;
inline constexpr int IDC_ANALYZER_FRAME = 1032;
inline constexpr int IDC_AXIS_LOG = 1033;
inline constexpr int IDC_AXIS_LINEAR1 = 1034;
inline constexpr int IDC_AXIS_LINEAR2 = 1035;
inline constexpr int IDC_KEY_RANGE = 1036;
inline constexpr int IDC_HISTORY_SCROLL = 1037;
inline constexpr int IDC_DB_LABEL0 = 1038;
inline constexpr int IDC_DB_LABEL1 = 1039;
inline constexpr int IDC_DB_LABEL2 = 1040;
inline constexpr int IDC_BUFFER_FULL = 1041;
inline constexpr int IDC_NOTE_LABEL = 1042;
inline constexpr int IDC_ANALYZER_TITLE = 1043;
inline constexpr int IDC_DUMP = 1046;
inline constexpr int IDC_AXIS_KEYBOARD = 1050;
inline constexpr int IDC_VOCAL_OFF = 1051;
inline constexpr int IDC_VOCAL_CUT = 1052;
inline constexpr int IDC_VOCAL_EXTRACT = 1053;
inline constexpr int IDC_AXIS_CAPTION = 1054;
inline constexpr int IDC_VOCAL_CAPTION = 1055;
inline constexpr int IDC_DB_LABEL3 = 1056;
inline constexpr int IDC_EFFECT = 1092;
inline constexpr int IDC_METER_MID = 1093;
inline constexpr int IDC_METER_TOP = 1094;
inline constexpr int IDC_HELP = 1095;
inline constexpr int IDC_CORR_TH_LABEL = 1097;
inline constexpr int IDC_PROC_TIME = 1098;
inline constexpr int IDC_BATCH = 1099;
inline constexpr int IDC_SETTING = 1114;
inline constexpr int IDC_VOICE_MODE = 1116;
inline constexpr int IDC_MAX_LABEL = 1117;
inline constexpr int IDC_MIN_LABEL = 1118;
inline constexpr int IDC_REPEAT = 1119;
inline constexpr int IDC_MARKER = 1126;

// Items of the about box (100).
inline constexpr int IDC_ABOUT_VERSION = 1031;
inline constexpr int IDC_ABOUT_EXTRA = 1107;
inline constexpr int IDC_ABOUT_BUILD = 1127;

// Items of the batch progress dialog (144).
inline constexpr int IDC_BATCH_TITLE = 1038;
inline constexpr int IDC_BATCH_FILE = 1039;
inline constexpr int IDC_BATCH_ABORT = 1088;
inline constexpr int IDC_BATCH_PROGRESS = 1102;
inline constexpr int IDC_BATCH_NOTE = 1104;
// Items of the sound-effect dialog (103).
inline constexpr int IDC_REVERB_ATTENUATION = 1060;
inline constexpr int IDC_REVERB_DELAY = 1061;
inline constexpr int IDC_EQ_BAND0 = 1062;        // .. 1072, band k = 1062 + k
inline constexpr int IDC_EQ_BAND_VALUE0 = 1073;  // .. 1083
inline constexpr int IDC_EQ_RESET = 1084;
inline constexpr int IDC_EQ_PRESET1 = 1085;
inline constexpr int IDC_EQ_PRESET2 = 1086;
inline constexpr int IDC_EQ_PRESET3 = 1087;
inline constexpr int IDC_EQ_CLOSE = 1088;
inline constexpr int IDC_EQ_Q = 1089;
inline constexpr int IDC_EQ_CTRL_CLICK = 1090;
inline constexpr int IDC_EQ_ENABLE = 1091;
inline constexpr int IDC_EQ_PRESET4 = 1092;
inline constexpr int IDC_REVERB_REPEAT = 1093;
inline constexpr int IDC_REVERB_DEFAULT = 1094;
inline constexpr int IDC_REVERB_ENABLE = 1121;
inline constexpr int IDC_REVERB_ATTENUATION_VALUE = 1123;
inline constexpr int IDC_REVERB_DELAY_VALUE = 1124;
inline constexpr int IDC_REVERB_REPEAT_VALUE = 1125;

// Items of the settings dialog (145).
inline constexpr int IDC_SET_LATENCY_STANDARD = 1025;
inline constexpr int IDC_SET_LATENCY_SMALL = 1026;
inline constexpr int IDC_SET_OVERSAMPLING = 1057;
inline constexpr int IDC_SET_CONVERTER = 1108;
inline constexpr int IDC_SET_A4 = 1109;
inline constexpr int IDC_SET_FOLDER = 1110;
inline constexpr int IDC_SET_OK = 1111;
inline constexpr int IDC_SET_CANCEL = 1112;
inline constexpr int IDC_SET_CONVERTER_PATH = 1113;
inline constexpr int IDC_SET_FOLDER_PATH = 1114;
inline constexpr int IDC_SET_WAVE_IN = 1116;
inline constexpr int IDC_SET_VOLUME_GRAPH = 1119;
inline constexpr int IDC_SET_WAVE_OUT = 1124;
inline constexpr int IDC_SET_MIDI = 1125;
