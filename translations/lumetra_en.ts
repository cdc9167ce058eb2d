<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>UiText</name>
    <message>
        <source>调用失败</source>
        <translation>Call failed</translation>
    </message>
    <message>
        <source>设备不在线</source>
        <translation>The device is offline</translation>
    </message>
    <message>
        <source>暂不支持多条通道</source>
        <translation>Only one tunnel of each kind at a time</translation>
    </message>
    <message>
        <source>最多同时打开16条通道</source>
        <translation>At most 16 tunnels can be open at once</translation>
    </message>
    <message>
        <source>设备为空！</source>
        <translation>No device!</translation>
    </message>
    <message>
        <source>设备串口数据通道为空！</source>
        <translation>The device has no serial data channel!</translation>
    </message>
    <message>
        <source>分配串口异常！</source>
        <translation>Could not assign a serial port!</translation>
    </message>
    <message>
        <source>分配串口对异常！</source>
        <translation>Could not assign a serial port pair!</translation>
    </message>
    <message>
        <source>通道开启成功！</source>
        <translation>Tunnel opened!</translation>
    </message>
    <message>
        <source>通道关闭成功</source>
        <translation>Channel closed</translation>
    </message>
    <message>
        <source>通道关闭成功！</source>
        <translation>Channel closed!</translation>
    </message>
    <message>
        <source>网关通道已经在使用中！</source>
        <translation>Channel already in use!</translation>
    </message>
    <message>
        <source>打开成功！</source>
        <translation>Opened!</translation>
    </message>
    <message>
        <source>打开通道失败</source>
        <translation>Could not open the tunnel</translation>
    </message>
    <message>
        <source>通道已经建立，是否关闭通道？</source>
        <translation>: a channel is open. Close it?</translation>
    </message>
    <message>
        <source>通道启动中，请稍等</source>
        <translation>Starting, please wait</translation>
    </message>
    <message>
        <source>创建套接字出错！</source>
        <translation>Error creating the socket!</translation>
    </message>
    <message>
        <source>创建套接字错误！</source>
        <translation>Socket creation error!</translation>
    </message>
    <message>
        <source>绑定套接字错误！</source>
        <translation>Socket bind error!</translation>
    </message>
    <message>
        <source>监听套接字错误！</source>
        <translation>Socket listen error!</translation>
    </message>
    <message>
        <source>内存不足,客户连接服务器失败！</source>
        <translation>Out of memory, the client could not connect!</translation>
    </message>
    <message>
        <source>端口绑定失败</source>
        <translation>Port bind failed</translation>
    </message>
    <message>
        <source>用户名不能为空！</source>
        <translation>The user name must not be empty!</translation>
    </message>
    <message>
        <source>密码不能为空！</source>
        <translation>The password must not be empty!</translation>
    </message>
    <message>
        <source>是否记住密码</source>
        <translation>Remember password</translation>
    </message>
    <message>
        <source>找不到串口，请确认是否安装正确</source>
        <translation>No serial port found; check the installation</translation>
    </message>
    <message>
        <source>请求超时</source>
        <translation>Request timed out</translation>
    </message>
    <message>
        <source>串口透传通道建立成功</source>
        <translation>Serial tunnel open</translation>
    </message>
    <message>
        <source>串口透传通道关闭成功</source>
        <translation>Serial tunnel closed</translation>
    </message>
    <message>
        <source>通道占用中！</source>
        <translation>The channel is in use!</translation>
    </message>
    <message>
        <source>设备注册失败！</source>
        <translation>Device registration failed!</translation>
    </message>
    <message>
        <source>服务器端口访问不了</source>
        <translation>The server port cannot be reached</translation>
    </message>
    <message>
        <source>串口打开失败，通道已关闭</source>
        <translation>Serial port open failed, tunnel closed</translation>
    </message>
    <message>
        <source>连接中断，通道已关闭</source>
        <translation>Link lost, tunnel closed</translation>
    </message>
    <message>
        <source>网络透传通道建立成功</source>
        <translation>Network tunnel open</translation>
    </message>
    <message>
        <source>网络透传通道关闭成功</source>
        <translation>Network tunnel closed</translation>
    </message>
    <message>
        <source>通道占用中</source>
        <translation>The channel is in use</translation>
    </message>
    <message>
        <source>请输入文本</source>
        <translation>Enter text</translation>
    </message>
    <message>
        <source>网关信息：</source>
        <translation>Gateway: </translation>
    </message>
    <message>
        <source>网关名称：</source>
        <translation>Name: </translation>
    </message>
    <message>
        <source>所属节点：</source>
        <translation>Node: </translation>
    </message>
    <message>
        <source>在线状况：</source>
        <translation>Online: </translation>
    </message>
    <message>
        <source>信号值   ：</source>
        <translation>Signal: </translation>
    </message>
    <message>
        <source>LAN IP  ：</source>
        <translation>LAN IP: </translation>
    </message>
    <message>
        <source>维护通道：</source>
        <translation>Channel:</translation>
    </message>
    <message>
        <source>通道状态：</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>设备列表</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>点击访问云服务平台</source>
        <translation>Open the cloud service</translation>
    </message>
    <message>
        <source>网关统计</source>
        <translation>Gateways</translation>
    </message>
    <message>
        <source>设备统计</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>报警统计</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>我的网关：#/#台</source>
        <translation>My gateways: #/#</translation>
    </message>
    <message>
        <source>总的网关：#/#台</source>
        <translation>All gateways: #/#</translation>
    </message>
    <message>
        <source>我的设备：#/#台</source>
        <translation>My devices: #/#</translation>
    </message>
    <message>
        <source>总的设备：#/#台</source>
        <translation>All devices: #/#</translation>
    </message>
    <message>
        <source>今日报警：#/#条</source>
        <translation>Alarms today: #/#</translation>
    </message>
    <message>
        <source>总的报警：#/#条</source>
        <translation>All alarms: #/#</translation>
    </message>
    <message>
        <source>我的任务</source>
        <translation>My tasks</translation>
    </message>
    <message>
        <source>我的工单：#/#个</source>
        <translation>My orders: #/#</translation>
    </message>
    <message>
        <source>今日工单：#/#个</source>
        <translation>Orders today: #/#</translation>
    </message>
    <message>
        <source>我的运维：#/#个</source>
        <translation>My upkeep: #/#</translation>
    </message>
    <message>
        <source>今日运维：#/#个</source>
        <translation>Upkeep today: #/#</translation>
    </message>
    <message>
        <source>公告</source>
        <translation>News</translation>
    </message>
    <message>
        <source>手机端应用下载</source>
        <translation>Mobile app</translation>
    </message>
    <message>
        <source>网关序列号：</source>
        <translation>Serial: </translation>
    </message>
    <message>
        <source>网关</source>
        <translation>Gateways</translation>
    </message>
    <message>
        <source>用户登入</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <source>连接中断，正在重连</source>
        <translation>Link lost, reconnecting</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>接口</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>通信参数</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>是否退出Lumetra</source>
        <translation>Quit Lumetra?</translation>
    </message>
    <message>
        <source>用户名：</source>
        <translation>User: </translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>连接诊断</source>
        <translation>Connection check</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>发送 %1 字节，接收 %2 字节，速率 %3 B/s
已打开 %4，重连 %5 次
</source>
        <translation>Sent %1 bytes, received %2 bytes, rate %3 B/s
Open %4, reconnected %5 times
</translation>
    </message>
    <message>
        <source>往返时间：暂无</source>
        <translation>Round trip: none yet</translation>
    </message>
    <message>
        <source>往返时间 中位 %1 ms，95% %2 ms（最近 %3 次），建议超时 %4 ms</source>
        <translation>Round trip median %1 ms, 95% %2 ms (last %3), suggested time-out %4 ms</translation>
    </message>
    <message>
        <source>关闭通道</source>
        <translation>Close tunnel</translation>
    </message>
    <message>
        <source>打开通道</source>
        <translation>Open tunnel</translation>
    </message>
    <message>
        <source>登  录</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <source>云平台</source>
        <translation>Cloud</translation>
    </message>
    <message>
        <source>电脑</source>
        <translation>PC</translation>
    </message>
    <message>
        <source>现场设备</source>
        <translation>Field devices</translation>
    </message>
    <message>
        <source>查询</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>所有网关</source>
        <translation>All</translation>
    </message>
    <message>
        <source>搜索结果</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>搜索网关</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>远程设备通道</source>
        <translation>Device tunnels</translation>
    </message>
    <message>
        <source>绑定 1024 以下的端口需要权限。请执行以下命令后重新打开通道：
sudo setcap cap_net_bind_service=+ep %1</source>
        <translation>Ports below 1024 need a permission. Run this command, then open the tunnel again:
sudo setcap cap_net_bind_service=+ep %1</translation>
    </message>
    <message>
        <source>自定义资源文件缺失或已损坏，读不到 Web 服务地址：
%1
请重新安装 Lumetra。</source>
        <translation>The custom resource file is missing or damaged; it names no web service:
%1
Please reinstall Lumetra.</translation>
    </message>
    <message>
        <source>登录缓存文件 %1 可被其他用户读取或修改，为保护密码不予使用。
请执行：chmod 600 %1</source>
        <translation>The login cache %1 can be read or changed by other users; it is not used, to protect the password.
Run: chmod 600 %1</translation>
    </message>
    <message>
        <source>VPN服务拒绝启动VPN客户端：</source>
        <translation>The VPN service refused to start the VPN client: </translation>
    </message>
</context>
</TS>
