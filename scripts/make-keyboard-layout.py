#!/usr/bin/env python3
"""Writes skin/keyboarddevice.ui: the keyboard page with its picture of the
keys placed as on the keyboard (function row, main block, navigation block,
numpad, the M-keys column on the left, the international keys in a row of
their own under the main block), the lighting, system-settings, key and macro tabs and the
profile strip.
Run from the project folder after changing the placement below."""

U = 25          # one key unit in pixels at the smallest size (legends of 9 pt fit)
GAP = 2         # between key caps
LEFT = 8 + int(1.5 * U)  # the M-keys column sits left of the main block
TOP = 8

# (logical key, legend, column, row, width, height) in key units; the
# function row is row 0, the others start a quarter unit lower.
KEYS = [
    (0, "Esc", 0, 0, 1, 1),
    *[(j, f"F{j}", 1 + j + (j - 1) // 4 * 0.5, 0, 1, 1) for j in range(1, 13)],
    (13, "PS", 15.5, 0, 1, 1), (14, "SL", 16.5, 0, 1, 1), (15, "PB", 17.5, 0, 1, 1),
    (16, "GM", 19, 0, 1, 1), (17, "☼", 20, 0, 1, 1),
    (18, "", 21, 0, 1, 1), (19, "", 22, 0, 1, 1), (20, "", 23, 0, 1, 1),
    (21, "`", 0, 1, 1, 1),
    *[(22 + i, "1234567890"[i], 1 + i, 1, 1, 1) for i in range(10)],
    (32, "-", 11, 1, 1, 1), (33, "=", 12, 1, 1, 1), (34, "⌫", 13, 1, 2, 1),
    (35, "Ins", 15.5, 1, 1, 1), (36, "Hm", 16.5, 1, 1, 1), (37, "PU", 17.5, 1, 1, 1),
    (38, "NL", 19, 1, 1, 1), (39, "/", 20, 1, 1, 1), (40, "*", 21, 1, 1, 1), (41, "-", 22, 1, 1, 1),
    (42, "Tab", 0, 2, 1.5, 1),
    *[(43 + i, "QWERTYUIOP"[i], 1.5 + i, 2, 1, 1) for i in range(10)],
    (53, "[", 11.5, 2, 1, 1), (54, "]", 12.5, 2, 1, 1), (55, "\\", 13.5, 2, 1.5, 1),
    (56, "Del", 15.5, 2, 1, 1), (57, "End", 16.5, 2, 1, 1), (58, "PD", 17.5, 2, 1, 1),
    (59, "7", 19, 2, 1, 1), (60, "8", 20, 2, 1, 1), (61, "9", 21, 2, 1, 1),
    (63, "Cap", 0, 3, 1.75, 1),
    *[(64 + i, "ASDFGHJKL"[i], 1.75 + i, 3, 1, 1) for i in range(9)],
    (73, ";", 10.75, 3, 1, 1), (74, "'", 11.75, 3, 1, 1), (75, "Ent", 12.75, 3, 2.25, 1),
    (76, "4", 19, 3, 1, 1), (77, "5", 20, 3, 1, 1), (78, "6", 21, 3, 1, 1),
    (84, "⇧", 0, 4, 2.25, 1),
    *[(85 + i, "ZXCVBNM"[i], 2.25 + i, 4, 1, 1) for i in range(7)],
    (92, ",", 9.25, 4, 1, 1), (93, ".", 10.25, 4, 1, 1), (94, "/", 11.25, 4, 1, 1), (95, "⇧", 12.25, 4, 2.75, 1),
    (96, "↑", 16.5, 4, 1, 1), (97, "1", 19, 4, 1, 1), (98, "2", 20, 4, 1, 1), (99, "3", 21, 4, 1, 1),
    (104, "", 23, 6, 1, 1),
    (105, "Ctl", 0, 5, 1.25, 1), (106, "⊞", 1.25, 5, 1.25, 1), (107, "Alt", 2.5, 5, 1.25, 1),
    (108, "", 3.75, 5, 6.25, 1), (109, "Alt", 10, 5, 1, 1), (125, "⊞", 11, 5, 1, 1), (110, "Fn", 12, 5, 1, 1),
    (111, "≡", 13, 5, 1, 1), (112, "Ctl", 14, 5, 1, 1),
    (113, "←", 15.5, 5, 1, 1), (114, "↓", 16.5, 5, 1, 1), (115, "→", 17.5, 5, 1, 1),
    (116, "0", 19, 5, 2, 1), (117, ".", 21, 5, 1, 1), (118, "Ent", 22, 4, 1, 2), (119, "+", 22, 2, 1, 2),
    *[(120 + i, f"M{i + 1}", -1.5, 1 + i, 1, 1) for i in range(5)],
    # The keys of ISO, Japanese, Korean and Brazilian boards (their key
    # position numbers): ISO #~ by Enter (42), ISO \| by left Shift (45),
    # ろ (56), ¥ (14), 無変換 (131), 変換 (132), かな (133), 한/영 (150),
    # 한자 (151) and the Brazilian keypad's comma (107).
    (62, "#~", 0, 6, 1, 1), (102, "\\|", 1, 6, 1, 1), (100, "ろ", 2, 6, 1, 1), (101, "¥", 3, 6, 1, 1),
    (80, "無変換", 4, 6, 1.75, 1), (79, "変換", 5.75, 6, 1.25, 1), (83, "かな", 7, 6, 1.25, 1),
    (82, "한/영", 8.25, 6, 1.5, 1), (81, "한자", 9.75, 6, 1.25, 1), (103, "Num ,", 19, 6, 1.5, 1),
]
HIDDEN = {18, 19, 20, 104}  # rows without a key on this keyboard

def px_x(c): return LEFT + round(c * U)
def px_y(r): return TOP + round((r + (0.25 if r > 0 else 0)) * U)

def esc(text): return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")

def key_widget(j, legend, c, r, w, h):
    x, y = px_x(c), px_y(r)
    width, height = round(w * U) - GAP, round(h * U) - GAP
    props = (f'<property name="geometry"><rect><x>{x}</x><y>{y}</y><width>{width}</width><height>{height}</height></rect></property>'
             f'<property name="userData" stdset="0"><string>key_{j}</string></property>')
    if legend:
        props += f'<property name="text"><string notr="true">{esc(legend)}</string></property>'
    if j in HIDDEN: props += '<property name="visible"><bool>false</bool></property>'
    return f'<widget class="DeviceKeyButton" name="key_{j}">{props}</widget>'

def main():
    assert sorted(k[0] for k in KEYS) == list(range(126)), "every written key once"
    width = max(px_x(c + w) for _, _, c, _, w, _ in KEYS) + 8
    height = max(px_y(r + h) for _, _, _, r, _, h in KEYS) + 8
    keys = "".join(key_widget(*k) for k in KEYS)
    def option(name, text):
        return f'<item><widget class="QRadioButton" name="{name}"><property name="text"><string>{text}</string></property></widget></item>'
    def check(name, text):
        return f'<item><widget class="QCheckBox" name="{name}"><property name="text"><string>{text}</string></property></widget></item>'
    def label(name, text):
        return f'<item><widget class="QLabel" name="{name}"><property name="text"><string>{text}</string></property></widget></item>'
    def row(name, items):
        return (f'<item><widget class="QWidget" name="{name}"><layout class="QHBoxLayout" name="{name}_box">'
                f'<property name="leftMargin"><number>0</number></property>{items}'
                f'<item><spacer name="{name}_end"><property name="orientation"><enum>Qt::Horizontal</enum></property></spacer></item>'
                '</layout></widget></item>')
    delays = "".join(option(f"repeat_delay_check_{i}", f"{250 * (i + 1)} ms") for i in range(4))
    rates = "".join(option(f"polling_rate_option_{i}", t) for i, t in enumerate(["125 Hz", "250 Hz", "500 Hz", "1000 Hz"]))
    system = (
        label("repeat_rate_label", "repeat_rate_text") +
        '<item><widget class="QSlider" name="repeat_rate_slider"><property name="orientation"><enum>Qt::Horizontal</enum></property>'
        '<property name="minimum"><number>0</number></property><property name="maximum"><number>40</number></property></widget></item>' +
        label("repeat_delay_time_label1", "Repeat_Delay_Time") +
        row("repeat_delay_layout", delays) +
        label("repeat_input_label", "repeat_try_text") +
        '<item><widget class="QLineEdit" name="repeat_input_richedit"/></item>' +
        label("polling_rate_label", "polling_rate_text") +
        row("keyboard_polling_rate_layout", rates) +
        row("keyboard_flag_layout", check("6flag_option", "key6_flag_text") + check("wflag_option", "wflag_text") +
            check("winlockflag_option", "winlock_flag_text")) +
        '<item><spacer name="keyboard_page_system_end"><property name="orientation"><enum>Qt::Vertical</enum></property></spacer></item>')
    page = f'''<?xml version="1.0" encoding="UTF-8"?>
<!-- Written by scripts/make-keyboard-layout.py -->
<ui version="4.0">
 <class>KeyboardDevicePage</class>
 <widget class="QWidget" name="keyboard_device_page"><layout class="QVBoxLayout" name="keyboard_device_page_box"><item><widget class="QWidget" name="DeviceProfileItem"><property name="layoutFile" stdset="0"><string>deviceprofile.ui</string></property></widget></item><item><widget class="QWidget" name="keyboard_picture_area"><layout class="QHBoxLayout" name="keyboard_picture_area_box"><property name="topMargin"><number>0</number></property><property name="bottomMargin"><number>0</number></property><item><widget class="SelectPanel" name="keyboard_device_key_light"><property name="minimumSize"><size><width>{width}</width><height>{height}</height></size></property><property name="sizePolicy"><sizepolicy hsizetype="Expanding" vsizetype="Expanding"><horstretch>0</horstretch><verstretch>0</verstretch></sizepolicy></property>{keys}</widget></item></layout></widget></item><item><widget class="QWidget" name="keyboard_option_layout"><property name="visible"><bool>false</bool></property><layout class="QHBoxLayout" name="keyboard_option_layout_box">{option("keyboard_device_seting_option_0", "keyboard_tab_light")}{option("keyboard_device_seting_option_1", "keyboard_tab_system")}{option("keyboard_device_seting_option_2", "keyboard_tab_keys")}{option("keyboard_device_seting_option_3", "keyboard_tab_macros")}<item><spacer name="keyboard_option_end"><property name="orientation"><enum>Qt::Horizontal</enum></property></spacer></item></layout></widget></item><item><widget class="QStackedWidget" name="keyboard_device_seting_layout"><widget class="QWidget" name="keyboard_page_light"><layout class="QVBoxLayout" name="keyboard_page_light_box"><item><widget class="QWidget" name="LightControlItem"><property name="loadWhenShown" stdset="0"><bool>true</bool></property><property name="layoutFile" stdset="0"><string>lightcontrol.ui</string></property></widget></item></layout></widget><widget class="QWidget" name="keyboard_page_system"><layout class="QVBoxLayout" name="keyboard_page_system_box">{system}</layout></widget><widget class="QWidget" name="keyboard_page_keys"><layout class="QVBoxLayout" name="keyboard_page_keys_box"><item><widget class="QWidget" name="KeySetControlItem"><property name="loadWhenShown" stdset="0"><bool>true</bool></property><property name="layoutFile" stdset="0"><string>keysetcontrol.ui</string></property></widget></item></layout></widget><widget class="QWidget" name="keyboard_page_macros"><layout class="QVBoxLayout" name="keyboard_page_macros_box"><item><widget class="QWidget" name="MacroControlItem"><property name="loadWhenShown" stdset="0"><bool>true</bool></property><property name="layoutFile" stdset="0"><string>macrocontrol.ui</string></property></widget></item></layout></widget></widget></item><item><widget class="QStackedWidget" name="device_function_switch"><widget class="QWidget" name="device_function_page_0"></widget><widget class="QWidget" name="device_function_page_1"></widget><widget class="QWidget" name="device_function_page_2"></widget><widget class="QWidget" name="device_function_page_3"></widget></widget></item><item><widget class="QStackedWidget" name="device_key_function_switch"><widget class="QWidget" name="device_key_function_page_0"></widget><widget class="QWidget" name="device_key_function_page_1"></widget><widget class="QWidget" name="device_key_function_page_2"></widget></widget></item></layout></widget>
</ui>
'''
    open("skin/keyboarddevice.ui", "w", encoding="utf-8").write(page)

main()
