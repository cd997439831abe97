<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CronJobDialog</name>
    <message>
        <source>window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0,0,1,0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>定时任务</source>
        <translation>Scheduled jobs</translation>
    </message>
    <message>
        <source>title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>按计划记录的录音任务。</source>
        <translation>Recordings planned in advance.</translation>
    </message>
    <message>
        <source>muted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>任务名称</source>
        <translation>Job name</translation>
    </message>
    <message>
        <source>colhead</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>开始时间</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>结束时间</source>
        <translation>End</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>清空任务</source>
        <translation>Clear jobs</translation>
    </message>
    <message>
        <source>新建任务</source>
        <translation>New job</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1,0,0,0,0,0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>录音</source>
        <translation>Record</translation>
    </message>
</context>
<context>
    <name>CronJobListContainerElement</name>
    <message>
        <source>row</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>任务</source>
        <translation>Job</translation>
    </message>
    <message>
        <source>rowtitle</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2024-01-01 00:00:00</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cell</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>rowdanger</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1,0,0,0,0,0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>录音</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>到时自动录音</source>
        <translation>Record at its time</translation>
    </message>
</context>
<context>
    <name>Feedback</name>
    <message>
        <source>window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0,0,1,0,0,0,0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>您的建议会帮助我们把录音软件做得更好。</source>
        <translation>Your suggestions help us make the recorder better.</translation>
    </message>
    <message>
        <source>muted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>反馈内容</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>field</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请描述您遇到的问题或建议</source>
        <translation>Describe the problem you met, or your suggestion</translation>
    </message>
    <message>
        <source>联系方式</source>
        <translation>Contact</translation>
    </message>
    <message>
        <source>QQ、邮箱或手机号</source>
        <translation>Email or phone number</translation>
    </message>
    <message>
        <source>error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮助中心</source>
        <translation>Help center</translation>
    </message>
    <message>
        <source>link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HotkeyDialog</name>
    <message>
        <source>window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>快捷键设置</source>
        <translation>Hotkey settings</translation>
    </message>
    <message>
        <source>title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>在任何窗口中按下快捷键即可控制录音。</source>
        <translation>Press a hotkey in any window to control recording.</translation>
    </message>
    <message>
        <source>muted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>开始 / 暂停</source>
        <translation>Start / Pause</translation>
    </message>
    <message>
        <source>field</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alt</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>+</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>hint</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F7</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F8</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F9</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F10</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F11</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F12</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainTaskMenu</name>
    <message>
        <source>menu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>显示主界面</source>
        <translation>Show the window</translation>
    </message>
    <message>
        <source>menuitem</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>系统设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Check for updates</translation>
    </message>
    <message>
        <source>separator</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1,0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0,1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>card</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>status-recording.png</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>准备录音</source>
        <translation>Ready to record</translation>
    </message>
    <message>
        <source>status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>recording.png</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>00:00:00</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>timer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>开始录音</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>record</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>control</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>录音设置</source>
        <translation>Recording settings</translation>
    </message>
    <message>
        <source>section</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>录音来源</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>field</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>麦克风和系统声音</source>
        <translation>Mic and system sound</translation>
    </message>
    <message>
        <source>仅麦克风</source>
        <translation>Microphone only</translation>
    </message>
    <message>
        <source>仅系统声音</source>
        <translation>System sound only</translation>
    </message>
    <message>
        <source>麦克风</source>
        <translation>Microphone</translation>
    </message>
    <message>
        <source>默认设备</source>
        <translation>Default device</translation>
    </message>
    <message>
        <source>系统声音</source>
        <translation>System sound</translation>
    </message>
    <message>
        <source>输出格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>mp3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>m4a</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>wav</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>音质</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>64kbps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>96kbps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>128kbps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>192kbps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>256kbps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>320kbps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>麦克风增强</source>
        <translation>Mic boost</translation>
    </message>
    <message>
        <source>20</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>降噪</source>
        <translation>Denoise</translation>
    </message>
    <message>
        <source>自动增益</source>
        <translation>Auto gain</translation>
    </message>
    <message>
        <source>音量</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>麦克风音量</source>
        <translation>Microphone volume</translation>
    </message>
    <message>
        <source>meter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>系统音量</source>
        <translation>System volume</translation>
    </message>
    <message>
        <source>录音文件</source>
        <translation>Recordings</translation>
    </message>
    <message>
        <source>保存目录</source>
        <translation>Save to</translation>
    </message>
    <message>
        <source>更改目录</source>
        <translation>Change folder</translation>
    </message>
    <message>
        <source>打开目录</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation>Hotkeys</translation>
    </message>
    <message>
        <source>link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>定时任务</source>
        <translation>Scheduled jobs</translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>ZAV电脑录音软件</source>
        <translation>ZAV Audio Recorder</translation>
    </message>
    <message>
        <source>hint</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>回声消除</source>
        <translation>Echo cancel</translation>
    </message>
    <message>
        <source>0,0,0,1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>系统设置</source>
        <translation type="unfinished">Settings</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation type="unfinished">Check for updates</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>box</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>信息提示</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>boxtitle</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>boxtext</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NewCronJobDialog</name>
    <message>
        <source>window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>新建定时任务</source>
        <translation>New scheduled job</translation>
    </message>
    <message>
        <source>title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>任务名称</source>
        <translation>Job name</translation>
    </message>
    <message>
        <source>field</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>例如：每周例会</source>
        <translation>For example: weekly meeting</translation>
    </message>
    <message>
        <source>开始时间</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>YYYY-MM-DD HH:MM:SS</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>结束时间</source>
        <translation>End</translation>
    </message>
    <message>
        <source>error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>到时自动录音</source>
        <translation>Record at its time</translation>
    </message>
</context>
<context>
    <name>PromptBox</name>
    <message>
        <source>box</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>boxtext</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RecorderListContainerElement</name>
    <message>
        <source>row</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>新录音-20240101000000.mp3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>rowtitle</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0B</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>hint</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>·</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>00:00:00</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>rowbtn</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开位置</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>rowdanger</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Seting</name>
    <message>
        <source>window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>系统设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>录音保存目录</source>
        <translation>Recordings folder</translation>
    </message>
    <message>
        <source>field</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>更改</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>关闭主窗口时</source>
        <translation>When the main window is closed</translation>
    </message>
    <message>
        <source>退出程序</source>
        <translation>Quit the program</translation>
    </message>
    <message>
        <source>最小化到托盘，保持运行</source>
        <translation>Minimize to the tray and keep running</translation>
    </message>
    <message>
        <source>在后台</source>
        <translation>In the background</translation>
    </message>
    <message>
        <source>开机自动启动，在托盘中按时执行定时录音</source>
        <translation>Start with the desktop, in the tray, to record scheduled jobs</translation>
    </message>
    <message>
        <source>窗口隐藏时，通知录音的开始和保存</source>
        <translation>While hidden, notify started and saved recordings</translation>
    </message>
</context>
<context>
    <name>Zav</name>
    <message>
        <source>[开始/暂停], 热键设置成功!</source>
        <translation>[Start/Pause]: the hotkey is set.</translation>
    </message>
    <message>
        <source>[开始/暂停], 热键设置失败!</source>
        <translation>[Start/Pause]: the hotkey could not be set.</translation>
    </message>
    <message>
        <source>[开始/暂停], 未选择按键, 热键保持不变!</source>
        <translation>[Start/Pause]: no key chosen, the hotkey stays as it was.</translation>
    </message>
    <message>
        <source>[停止], 热键设置成功!</source>
        <translation>[Stop]: the hotkey is set.</translation>
    </message>
    <message>
        <source>[停止], 热键设置失败!</source>
        <translation>[Stop]: the hotkey could not be set.</translation>
    </message>
    <message>
        <source>[停止], 未选择按键, 热键保持不变!</source>
        <translation>[Stop]: no key chosen, the hotkey stays as it was.</translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation>Hotkeys</translation>
    </message>
    <message>
        <source>当前桌面不支持全局快捷键，请使用窗口上的按钮控制录音。</source>
        <translation>This desktop offers no global hotkeys; use the buttons of the window to control recording.</translation>
    </message>
    <message>
        <source>新建定时任务</source>
        <translation>New scheduled job</translation>
    </message>
    <message>
        <source>定时任务</source>
        <translation>Scheduled jobs</translation>
    </message>
    <message>
        <source>定时任务保存失败!</source>
        <translation>The scheduled job could not be saved.</translation>
    </message>
    <message>
        <source>定时任务删除失败!</source>
        <translation>The scheduled job could not be removed.</translation>
    </message>
    <message>
        <source>定时任务清空失败!</source>
        <translation>The scheduled jobs could not be cleared.</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>已完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>已失效</source>
        <translation>Expired</translation>
    </message>
    <message>
        <source>任务名称不能为空!</source>
        <translation>The job needs a name.</translation>
    </message>
    <message>
        <source>请输入正确的开始/结束时间!</source>
        <translation>Please enter a correct start and end time.</translation>
    </message>
    <message>
        <source>默认设备</source>
        <translation>Default device</translation>
    </message>
    <message>
        <source> (未连接)</source>
        <translation> (not connected)</translation>
    </message>
    <message>
        <source>该目录没有写入权限!</source>
        <translation>This folder cannot be written to.</translation>
    </message>
    <message>
        <source>ZAV电脑录音软件</source>
        <translation>ZAV Audio Recorder</translation>
    </message>
    <message>
        <source>准备录音</source>
        <translation>Ready to record</translation>
    </message>
    <message>
        <source>正在录音</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>暂停录音</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>没有插入麦克风设备,仅录系统声音</source>
        <translation>No microphone is plugged in; recording system sound only.</translation>
    </message>
    <message>
        <source>未启用音频输出设备!</source>
        <translation>No sound output device is enabled.</translation>
    </message>
    <message>
        <source>请先插入麦克风设备!</source>
        <translation>Please plug in a microphone first.</translation>
    </message>
    <message>
        <source>音频设备出错!</source>
        <translation>Sound device error!</translation>
    </message>
    <message>
        <source>磁盘可能已满,无法保存录音!</source>
        <translation>The disk may be full; the recording cannot be saved.</translation>
    </message>
    <message>
        <source>磁盘可能已满,录音已停止并保存!</source>
        <translation>The disk may be full; recording stopped and was saved.</translation>
    </message>
    <message>
        <source>录音文件已被删除或移走,录音已停止!</source>
        <translation>The recording file was deleted or moved; recording stopped.</translation>
    </message>
    <message>
        <source>音频编码出错,录音已停止并保存!</source>
        <translation>Encoding failed; recording stopped and was saved.</translation>
    </message>
    <message>
        <source>录音时长出错,录音已停止并保存!</source>
        <translation>The recording ran ahead of the clock; recording stopped and was saved.</translation>
    </message>
    <message>
        <source>音频设备出错,录音已停止并保存!</source>
        <translation>Sound device error; recording stopped and was saved.</translation>
    </message>
    <message>
        <source>所选麦克风和系统声音设备不可用,已使用默认设备</source>
        <translation>The chosen microphone and output are not available; the defaults are recorded.</translation>
    </message>
    <message>
        <source>所选麦克风不可用,已使用默认设备</source>
        <translation>The chosen microphone is not available; the default microphone is recorded.</translation>
    </message>
    <message>
        <source>所选系统声音设备不可用,已使用默认设备</source>
        <translation>The chosen output is not available; the default output is recorded.</translation>
    </message>
    <message>
        <source>没有录到声音,未保存录音文件!</source>
        <translation>Nothing was recorded; no file was kept.</translation>
    </message>
    <message>
        <source>设置保存失败,配置文件无法写入!</source>
        <translation>The settings could not be saved: the settings file cannot be written.</translation>
    </message>
    <message>
        <source>无法验证安装包，请确认来源后手动安装!</source>
        <translation>The installer could not be verified. Check where it comes from and install it by hand.</translation>
    </message>
    <message>
        <source>安装包过大，已停止下载!</source>
        <translation>The installer is too large; the download was stopped.</translation>
    </message>
    <message>
        <source>磁盘空间不足，无法下载安装包!</source>
        <translation>Not enough disk space to download the installer.</translation>
    </message>
    <message>
        <source>安装包校验失败!</source>
        <translation>The installer failed its checksum.</translation>
    </message>
    <message>
        <source>安装包下载失败!</source>
        <translation>The installer could not be downloaded.</translation>
    </message>
    <message>
        <source>升级下载</source>
        <translation>Downloading the upgrade</translation>
    </message>
    <message>
        <source>网络错误!</source>
        <translation>Network error!</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>反馈信息已提交!</source>
        <translation>Your feedback was sent.</translation>
    </message>
    <message>
        <source>反馈内容不能为空!</source>
        <translation>Please write your feedback.</translation>
    </message>
    <message>
        <source>联系方式不能为空!</source>
        <translation>Please give a way to contact you.</translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>发现新版本啦!</source>
        <translation>A new version is available!</translation>
    </message>
    <message>
        <source>没有发现新版本!</source>
        <translation>No new version was found.</translation>
    </message>
    <message>
        <source>确定要删除文件吗?</source>
        <translation type="vanished">Delete this file?</translation>
    </message>
    <message>
        <source>文件删除失败!</source>
        <translation>The file could not be deleted.</translation>
    </message>
    <message>
        <source>文件已不存在!</source>
        <translation>The file no longer exists.</translation>
    </message>
    <message>
        <source>选择保存目录</source>
        <translation>Choose the recordings folder</translation>
    </message>
    <message>
        <source>系统设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>当前桌面没有系统托盘，关闭主窗口时将退出程序</source>
        <translation>This desktop has no system tray: closing the main window quits the program.</translation>
    </message>
    <message>
        <source>ZAV电脑录音软件 - 正在录音</source>
        <translation>ZAV Audio Recorder - recording</translation>
    </message>
    <message>
        <source>信息提示</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>找不到界面皮肤文件，请重新安装程序。</source>
        <translation>The skin files were not found. Please reinstall the program.</translation>
    </message>
    <message>
        <source>界面皮肤文件已损坏，请重新安装程序。</source>
        <translation>The skin files are damaged. Please reinstall the program.</translation>
    </message>
    <message>
        <source>定时录音只在本程序运行时进行,是否开机自动启动本程序?</source>
        <translation>Scheduled jobs record only while this program runs. Start it with the desktop?</translation>
    </message>
    <message>
        <source>开机自动启动设置失败!</source>
        <translation>Could not set the program to start with the desktop!</translation>
    </message>
    <message>
        <source>进行中</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>开始录音</source>
        <translation type="unfinished">Start recording</translation>
    </message>
    <message>
        <source>定时任务“%1”开始录音,到 %2 结束</source>
        <translation>Scheduled job “%1” is recording until %2</translation>
    </message>
    <message>
        <source>定时任务“%1”已过开始时间,现在录制余下的部分,到 %2 结束</source>
        <translation>Scheduled job “%1” missed its start and records the rest, until %2</translation>
    </message>
    <message>
        <source>录音已保存</source>
        <translation>Recording saved</translation>
    </message>
    <message>
        <source>在文件夹中显示</source>
        <translation>Show in folder</translation>
    </message>
    <message>
        <source>录音出错</source>
        <translation>Recording problem</translation>
    </message>
    <message>
        <source>录音中麦克风和系统声音设备已断开,此后的录音为静音!</source>
        <translation>The microphone and the system sound device went away; the rest is silent!</translation>
    </message>
    <message>
        <source>录音中麦克风已断开,此后的录音为静音!</source>
        <translation>The microphone went away; the rest of the recording is silent!</translation>
    </message>
    <message>
        <source>录音中系统声音设备已断开,此后的录音为静音!</source>
        <translation>The system sound device went away; the rest is silent!</translation>
    </message>
    <message>
        <source>确定要删除文件“%1”吗?</source>
        <translation>Delete “%1”?</translation>
    </message>
    <message>
        <source>应用程序: %1</source>
        <translation>Application: %1</translation>
    </message>
</context>
<context>
    <name>download</name>
    <message>
        <source>window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在下载新版本</source>
        <translation>Downloading the new version</translation>
    </message>
    <message>
        <source>title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下载完成后将自动启动安装程序。</source>
        <translation>The installer starts by itself when the download is complete.</translation>
    </message>
    <message>
        <source>muted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
