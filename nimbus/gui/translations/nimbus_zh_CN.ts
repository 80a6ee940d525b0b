<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>Nimbus</name>
    <message>
        <source>Supported formats (*.las *.laz *.xyz *.dat *.pcd *.ply *.pts);;E57 (*.e57)</source>
        <translation>支持格式(*.las *.laz *.xyz *.dat *.pcd *.ply *.pts);;E57 (*.e57)</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>Choose files to convert</source>
        <translation>选择转换文件</translation>
    </message>
    <message>
        <source>Notice</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Please choose the files to convert</source>
        <translation>请选择数据</translation>
    </message>
    <message>
        <source>Time taken</source>
        <translation>耗时</translation>
    </message>
    <message>
        <source>stopping:</source>
        <translation>正在停止:</translation>
    </message>
    <message>
        <source>A conversion is running. Stop it and close the window?
The unfinished output file will be removed.</source>
        <translation>正在转换，是否停止转换并关闭窗口？
未完成的输出文件将被删除。</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关  闭</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Memory could not be allocated (pos4)!</source>
        <translation>内存申请失败pos4！</translation>
    </message>
    <message>
        <source>converting:</source>
        <translation>转换中:</translation>
    </message>
    <message>
        <source>reading:</source>
        <translation>准备中:</translation>
    </message>
    <message>
        <source>writing:</source>
        <translation>已处理:</translation>
    </message>
    <message>
        <source>stopped by the user</source>
        <translation>已被用户停止</translation>
    </message>
    <message>
        <source>the output file would replace the input file</source>
        <translation>输出文件会覆盖输入文件</translation>
    </message>
    <message>
        <source>%1 of an earlier conversion describes another input and could not be removed: %2</source>
        <translation>%1 是之前的转换留下的，描述的是另一个输入，但无法删除: %2</translation>
    </message>
    <message>
        <source>the coordinate system was not written: %1</source>
        <translation>坐标系未能写入: %1</translation>
    </message>
    <message>
        <source>removed %1 unfinished file(s) left by runs that had ended: %2</source>
        <translation>已删除 %1 个已结束的转换留下的未完成文件: %2</translation>
    </message>
    <message>
        <source>%1 lines or points without a usable position were skipped</source>
        <translation>已跳过 %1 个没有可用位置的行或点</translation>
    </message>
    <message>
        <source>%1 points with unusable coordinates were dropped</source>
        <translation>已丢弃 %1 个坐标不可用的点</translation>
    </message>
    <message>
        <source>%1 of %2 points stored</source>
        <translation>%2 个点中存储了 %1 个</translation>
    </message>
    <message>
        <source>; the rest lay in sparse cells</source>
        <translation>；其余的点位于点数过少的网格中</translation>
    </message>
    <message>
        <source>; %1 lay in sparse cells</source>
        <translation>；%1 个点位于点数过少的网格中</translation>
    </message>
    <message>
        <source>the file could not be read</source>
        <translation>无法读取该文件</translation>
    </message>
    <message>
        <source>the input holds no point</source>
        <translation>输入文件中没有点</translation>
    </message>
    <message>
        <source>no point had usable coordinates</source>
        <translation>没有坐标可用的点</translation>
    </message>
    <message>
        <source>every cell held fewer than %1 points</source>
        <translation>每个网格中的点都少于 %1 个</translation>
    </message>
    <message>
        <source>  the points read were kept in: %1
</source>
        <translation>  已读取的点保存在: %1
</translation>
    </message>
    <message>
        <source>These files stored no point:
</source>
        <translation>以下文件没有存储任何点:
</translation>
    </message>
    <message>
        <source>These files failed:
</source>
        <translation>以下文件转换失败:
</translation>
    </message>
    <message>
        <source>Stopped before these files:
</source>
        <translation>停止时以下文件尚未转换:
</translation>
    </message>
    <message>
        <source>Notes:
</source>
        <translation>附注:
</translation>
    </message>
    <message>
        <source>Output folder: %1
</source>
        <translation>输出文件夹: %1
</translation>
    </message>
    <message>
        <source>Output files:
</source>
        <translation>输出文件:
</translation>
    </message>
    <message>
        <source>no point stored: </source>
        <translation>没有存储任何点: </translation>
    </message>
    <message>
        <source>conversion stopped</source>
        <translation>转换已停止</translation>
    </message>
    <message>
        <source>conversion complete</source>
        <translation>转换完成</translation>
    </message>
    <message>
        <source>%1</source>
        <translation>%1</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>没有该文件或文件夹</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>没有访问权限</translation>
    </message>
    <message>
        <source>Operation not permitted</source>
        <translation>不允许执行该操作</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>输入/输出错误</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>这是一个文件夹</translation>
    </message>
    <message>
        <source>Not a directory</source>
        <translation>不是文件夹</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>磁盘空间不足</translation>
    </message>
    <message>
        <source>Disk quota exceeded</source>
        <translation>超出磁盘配额</translation>
    </message>
    <message>
        <source>File too large</source>
        <translation>文件过大</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>文件系统为只读</translation>
    </message>
    <message>
        <source>Too many open files</source>
        <translation>打开的文件过多</translation>
    </message>
    <message>
        <source>Too many open files in system</source>
        <translation>系统中打开的文件过多</translation>
    </message>
    <message>
        <source>Cannot allocate memory</source>
        <translation>无法分配内存</translation>
    </message>
    <message>
        <source>Not enough space</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>File name too long</source>
        <translation>文件名过长</translation>
    </message>
    <message>
        <source>Filename too long</source>
        <translation>文件名过长</translation>
    </message>
    <message>
        <source>Too many levels of symbolic links</source>
        <translation>符号链接的层数过多</translation>
    </message>
    <message>
        <source>File exists</source>
        <translation>文件已存在</translation>
    </message>
    <message>
        <source>Device or resource busy</source>
        <translation>设备或资源正忙</translation>
    </message>
    <message>
        <source>Text file busy</source>
        <translation>文件正在被执行，无法写入</translation>
    </message>
    <message>
        <source>Invalid argument</source>
        <translation>参数无效</translation>
    </message>
    <message>
        <source>No such device</source>
        <translation>没有该设备</translation>
    </message>
    <message>
        <source>No such device or address</source>
        <translation>没有该设备或地址</translation>
    </message>
    <message>
        <source>Stale file handle</source>
        <translation>文件句柄已失效</translation>
    </message>
    <message>
        <source>Invalid cross-device link</source>
        <translation>无法跨设备链接</translation>
    </message>
    <message>
        <source>Directory not empty</source>
        <translation>文件夹不为空</translation>
    </message>
    <message>
        <source>Value too large for defined data type</source>
        <translation>数值超出数据类型的范围</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>连接超时</translation>
    </message>
    <message>
        <source>Resource temporarily unavailable</source>
        <translation>资源暂时不可用</translation>
    </message>
    <message>
        <source>No locks available</source>
        <translation>没有可用的锁</translation>
    </message>
    <message>
        <source>std::bad_alloc</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>std::bad_array_new_length</source>
        <translation>内存不足（申请的大小无效）</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>无法打开 %1: %2</translation>
    </message>
    <message>
        <source>cannot open %1: not a regular file</source>
        <translation>无法打开 %1: 不是普通文件</translation>
    </message>
    <message>
        <source>cannot determine the size of %1</source>
        <translation>无法确定 %1 的大小</translation>
    </message>
    <message>
        <source>cannot open: %1</source>
        <translation>无法打开: %1</translation>
    </message>
    <message>
        <source>reading stopped: %1</source>
        <translation>读取中止: %1</translation>
    </message>
    <message>
        <source>not a LAS file (no LASF signature)</source>
        <translation>不是 LAS 文件（没有 LASF 标识）</translation>
    </message>
    <message>
        <source>LAS header is truncated</source>
        <translation>LAS 文件头不完整</translation>
    </message>
    <message>
        <source>unsupported LAS version %1.%2</source>
        <translation>不支持 LAS 版本 %1.%2</translation>
    </message>
    <message>
        <source>LAS header size %1 is too small</source>
        <translation>LAS 文件头大小 %1 过小</translation>
    </message>
    <message>
        <source>LAS 1.4 header size %1 is too small</source>
        <translation>LAS 1.4 文件头大小 %1 过小</translation>
    </message>
    <message>
        <source>point data would start inside the header</source>
        <translation>点数据的起始位置落在文件头之内</translation>
    </message>
    <message>
        <source>unknown point format %1</source>
        <translation>未知的点格式 %1</translation>
    </message>
    <message>
        <source>point record length %1 is too small</source>
        <translation>点记录长度 %1 过小</translation>
    </message>
    <message>
        <source>point record length %1 is too small for point format %2</source>
        <translation>点记录长度 %1 对点格式 %2 来说过小</translation>
    </message>
    <message>
        <source>%1 scale factor is %2; it must be a finite number other than 0</source>
        <translation>%1 缩放系数为 %2；它必须是不为 0 的有限数</translation>
    </message>
    <message>
        <source>%1 offset is %2; it must be a finite number</source>
        <translation>%1 偏移量为 %2；它必须是有限数</translation>
    </message>
    <message>
        <source>not a number</source>
        <translation>非数值</translation>
    </message>
    <message>
        <source>infinite</source>
        <translation>无穷大</translation>
    </message>
    <message>
        <source>compressed point format without a LAZ compression record</source>
        <translation>点格式标为压缩，但没有 LAZ 压缩记录</translation>
    </message>
    <message>
        <source>LAZ items do not hold point format %1</source>
        <translation>LAZ 数据项不含点格式 %1 的数据</translation>
    </message>
    <message>
        <source>LAZ compression record is too short</source>
        <translation>LAZ 压缩记录过短</translation>
    </message>
    <message>
        <source>unknown LAZ compressor %1</source>
        <translation>未知的 LAZ 压缩方式 %1</translation>
    </message>
    <message>
        <source>unknown LAZ coder %1</source>
        <translation>未知的 LAZ 编码方式 %1</translation>
    </message>
    <message>
        <source>LAZ compression record has a broken item list</source>
        <translation>LAZ 压缩记录的数据项列表已损坏</translation>
    </message>
    <message>
        <source>LAZ item list does not start with the point item</source>
        <translation>LAZ 数据项列表不是以点数据项开头</translation>
    </message>
    <message>
        <source>LAZ item list holds the point item twice</source>
        <translation>LAZ 数据项列表中点数据项出现了两次</translation>
    </message>
    <message>
        <source>LAZ items cover %1 bytes but records are %2 bytes</source>
        <translation>LAZ 数据项共 %1 字节，而点记录为 %2 字节</translation>
    </message>
    <message>
        <source>LAZ item %1 (size %2, version %3): %4</source>
        <translation>LAZ 数据项 %1（大小 %2，版本 %3）: %4</translation>
    </message>
    <message>
        <source>not allowed in a layered file</source>
        <translation>分层压缩的文件中不允许使用</translation>
    </message>
    <message>
        <source>wrong size</source>
        <translation>大小不正确</translation>
    </message>
    <message>
        <source>unsupported version</source>
        <translation>不支持该版本</translation>
    </message>
    <message>
        <source>needs the layered compressor</source>
        <translation>需要分层压缩方式</translation>
    </message>
    <message>
        <source>unknown item type</source>
        <translation>未知的数据项类型</translation>
    </message>
    <message>
        <source>file ends before the compressed points</source>
        <translation>文件在压缩点数据之前就结束了</translation>
    </message>
    <message>
        <source>chunk table offset is missing</source>
        <translation>缺少块表的位置</translation>
    </message>
    <message>
        <source>the file has no chunk table</source>
        <translation>文件没有块表</translation>
    </message>
    <message>
        <source>chunk table offset lies outside the file</source>
        <translation>块表的位置超出了文件范围</translation>
    </message>
    <message>
        <source>chunk table cannot be read</source>
        <translation>无法读取块表</translation>
    </message>
    <message>
        <source>unknown chunk table version %1</source>
        <translation>未知的块表版本 %1</translation>
    </message>
    <message>
        <source>chunk table lists more chunks than fit in the file</source>
        <translation>块表列出的块数多于文件所能容纳的数量</translation>
    </message>
    <message>
        <source>chunk table is truncated or corrupt</source>
        <translation>块表不完整或已损坏</translation>
    </message>
    <message>
        <source>chunk table entry %1 of %2 is impossible</source>
        <translation>块表第 %1 项（共 %2 项）无效</translation>
    </message>
    <message>
        <source>chunk table entry %1 claims an implausible size</source>
        <translation>块表第 %1 项声明的大小不合理</translation>
    </message>
    <message>
        <source>chunk table holds only %1 of %2 points</source>
        <translation>块表只包含 %2 个点中的 %1 个</translation>
    </message>
    <message>
        <source>variable-size chunks need the chunk table: %1</source>
        <translation>大小不固定的块需要块表: %1</translation>
    </message>
    <message>
        <source>chunk is shorter than one record</source>
        <translation>块比一条点记录还短</translation>
    </message>
    <message>
        <source>chunk is too short for its layer table</source>
        <translation>块太短，容纳不下其分层表</translation>
    </message>
    <message>
        <source>chunk layers run past the end of the chunk</source>
        <translation>块的分层超出了块的末尾</translation>
    </message>
    <message>
        <source>chunk %1 is corrupt: %2</source>
        <translation>块 %1 已损坏: %2</translation>
    </message>
    <message>
        <source>chunk %1 is corrupt: its layers claim %2 bytes</source>
        <translation>块 %1 已损坏: 其分层声明了 %2 字节</translation>
    </message>
    <message>
        <source>chunk %1 cannot be decoded: %2</source>
        <translation>块 %1 无法解码: %2</translation>
    </message>
    <message>
        <source>file is truncated in chunk %1</source>
        <translation>文件在块 %1 处被截断</translation>
    </message>
    <message>
        <source>file is truncated in chunk %1 after %2 of %3 points</source>
        <translation>文件在块 %1 处被截断，%3 个点中已读 %2 个</translation>
    </message>
    <message>
        <source>file cannot be read in chunk %1</source>
        <translation>无法读取文件的块 %1</translation>
    </message>
    <message>
        <source>compressed points of chunk %1 are corrupt or cut short</source>
        <translation>块 %1 的压缩点数据已损坏或不完整</translation>
    </message>
    <message>
        <source>compressed points are corrupt or cut short after %1 of %2 points</source>
        <translation>压缩点数据已损坏或不完整，%2 个点中已读 %1 个</translation>
    </message>
    <message>
        <source>%1 after %2 of %3 points</source>
        <translation>%1（%3 个点中已读 %2 个）</translation>
    </message>
    <message>
        <source>file ends after %1 of %2 points</source>
        <translation>文件在 %2 个点中读到第 %1 个时就结束了</translation>
    </message>
    <message>
        <source>no memory for a chunk decoder: %1</source>
        <translation>内存不足，无法创建块解码器: %1</translation>
    </message>
    <message>
        <source>complete records are not available from the parallel decoder</source>
        <translation>并行解码器不提供完整的点记录</translation>
    </message>
    <message>
        <source>the coordinate system given by GeoTIFF keys was not kept: %1</source>
        <translation>未能保留 GeoTIFF 键给出的坐标系: %1</translation>
    </message>
    <message>
        <source>the file cannot be opened</source>
        <translation>无法打开文件</translation>
    </message>
    <message>
        <source>the file cannot be read at byte %1</source>
        <translation>无法读取文件第 %1 字节处的数据</translation>
    </message>
    <message>
        <source>checksum mismatch on page %1 (bytes %2 to %3)</source>
        <translation>第 %1 页的校验和不符（第 %2 至 %3 字节）</translation>
    </message>
    <message>
        <source>a read at byte %1 runs past the end of the file</source>
        <translation>从第 %1 字节开始的读取超出了文件末尾</translation>
    </message>
    <message>
        <source>not an E57 file (no ASTM-E57 signature)</source>
        <translation>不是 E57 文件（没有 ASTM-E57 标识）</translation>
    </message>
    <message>
        <source>not an E57 file (shorter than its header)</source>
        <translation>不是 E57 文件（比其文件头还短）</translation>
    </message>
    <message>
        <source>the file is truncated: it is shorter than one page</source>
        <translation>文件不完整: 不足一页</translation>
    </message>
    <message>
        <source>E57 version %1.%2 is not supported</source>
        <translation>不支持 E57 版本 %1.%2</translation>
    </message>
    <message>
        <source>the header gives a page size of %1 bytes, not 1024</source>
        <translation>文件头给出的页大小为 %1 字节，而不是 1024 字节</translation>
    </message>
    <message>
        <source>the header gives a file length of %1 bytes, not a whole number of pages</source>
        <translation>文件头给出的文件长度为 %1 字节，不是整数页</translation>
    </message>
    <message>
        <source>the file is truncated: its header gives %1 bytes, the file holds %2</source>
        <translation>文件不完整: 文件头给出 %1 字节，文件实际只有 %2 字节</translation>
    </message>
    <message>
        <source>the XML section (offset %1, length %2) lies outside the file</source>
        <translation>XML 部分（位置 %1，长度 %2）超出了文件范围</translation>
    </message>
    <message>
        <source>the XML section is empty</source>
        <translation>XML 部分为空</translation>
    </message>
    <message>
        <source>the XML section does not parse: %1 (line %2, column %3)</source>
        <translation>无法解析 XML 部分: %1（第 %2 行，第 %3 列）</translation>
    </message>
    <message>
        <source>the XML section holds no e57Root element</source>
        <translation>XML 部分中没有 e57Root 元素</translation>
    </message>
    <message>
        <source>the XML section&apos;s root element is not e57Root of the E57 namespace</source>
        <translation>XML 部分的根元素不是 E57 命名空间中的 e57Root</translation>
    </message>
    <message>
        <source>scan %1: %2</source>
        <translation>扫描 %1: %2</translation>
    </message>
    <message>
        <source>the %1 of field %2 is not an integer</source>
        <translation>字段 %2 的 %1 不是整数</translation>
    </message>
    <message>
        <source>the %1 of field %2 is not a number</source>
        <translation>字段 %2 的 %1 不是数值</translation>
    </message>
    <message>
        <source>its prototype has more fields than a data packet can hold</source>
        <translation>其原型的字段数多于一个数据包所能容纳的数量</translation>
    </message>
    <message>
        <source>field %1 has a maximum below its minimum</source>
        <translation>字段 %1 的最大值小于最小值</translation>
    </message>
    <message>
        <source>the scale of field %1 is 0 or not finite</source>
        <translation>字段 %1 的缩放系数为 0 或不是有限数</translation>
    </message>
    <message>
        <source>the offset of field %1 is not finite</source>
        <translation>字段 %1 的偏移量不是有限数</translation>
    </message>
    <message>
        <source>its points lack a usable fileOffset or recordCount</source>
        <translation>其点数据缺少可用的 fileOffset 或 recordCount</translation>
    </message>
    <message>
        <source>prototype field %1 has type %2, which cannot be read as point data</source>
        <translation>原型字段 %1 的类型为 %2，无法作为点数据读取</translation>
    </message>
    <message>
        <source>the value of %1 is not a number</source>
        <translation>%1 的值不是数值</translation>
    </message>
    <message>
        <source>its prototype has no coordinates (neither cartesianX/Y/Z nor sphericalRange/Azimuth/Elevation)</source>
        <translation>其原型没有坐标（既没有 cartesianX/Y/Z，也没有 sphericalRange/Azimuth/Elevation）</translation>
    </message>
    <message>
        <source>its records use a codec other than bit packing, which is not supported</source>
        <translation>其记录使用了位打包以外的编码方式，不支持读取</translation>
    </message>
    <message>
        <source>its prototype has %1 fields, more than a data packet can hold</source>
        <translation>其原型有 %1 个字段，多于一个数据包所能容纳的数量</translation>
    </message>
    <message>
        <source>its records store no bits (every field is constant)</source>
        <translation>其记录不含任何数据位（所有字段都是常量）</translation>
    </message>
    <message>
        <source>its section offset %1 lies outside the file</source>
        <translation>其数据段位置 %1 超出了文件范围</translation>
    </message>
    <message>
        <source>the section at %1 is not a compressed-vector section (id %2)</source>
        <translation>位于 %1 的数据段不是压缩向量段（标识 %2）</translation>
    </message>
    <message>
        <source>the section at %1 gives a length of %2 bytes, which runs past the end of the file</source>
        <translation>位于 %1 的数据段给出的长度为 %2 字节，超出了文件末尾</translation>
    </message>
    <message>
        <source>the first data packet offset %1 lies outside its section</source>
        <translation>第一个数据包的位置 %1 超出了其数据段</translation>
    </message>
    <message>
        <source>its section of %1 bytes cannot hold %2 records</source>
        <translation>其 %1 字节的数据段容纳不下 %2 条记录</translation>
    </message>
    <message>
        <source>its section ends inside the packet header at %1</source>
        <translation>其数据段在位于 %1 的数据包头中间结束</translation>
    </message>
    <message>
        <source>the packet at %1 runs past the end of its section</source>
        <translation>位于 %1 的数据包超出了其数据段的末尾</translation>
    </message>
    <message>
        <source>the packet at %1 has type %2, none of data, index or empty</source>
        <translation>位于 %1 的数据包类型为 %2，既不是数据包、索引包，也不是空包</translation>
    </message>
    <message>
        <source>the data packet at %1 is too short for its header</source>
        <translation>位于 %1 的数据包太短，容纳不下其包头</translation>
    </message>
    <message>
        <source>the byte streams of its fields lie more than %1 packets apart</source>
        <translation>其各字段的字节流相隔超过 %1 个数据包</translation>
    </message>
    <message>
        <source>the data packet at %1 holds %2 streams, its prototype %3 fields</source>
        <translation>位于 %1 的数据包有 %2 个数据流，而其原型有 %3 个字段</translation>
    </message>
    <message>
        <source>the buffer lengths of the data packet at %1 overrun it</source>
        <translation>位于 %1 的数据包中的缓冲区长度超出了数据包</translation>
    </message>
    <message>
        <source>the buffers of the data packet at %1 need %2 bytes, the packet holds %3</source>
        <translation>位于 %1 的数据包的缓冲区需要 %2 字节，而数据包只有 %3 字节</translation>
    </message>
    <message>
        <source>the data stream of field %1 ends before its %2 records</source>
        <translation>字段 %1 的数据流在 %2 条记录读完之前就结束了</translation>
    </message>
    <message>
        <source>cannot read the header</source>
        <translation>无法读取文件头</translation>
    </message>
    <message>
        <source>not a PCD file: unusable WIDTH or HEIGHT entry</source>
        <translation>不是 PCD 文件: WIDTH 或 HEIGHT 项不可用</translation>
    </message>
    <message>
        <source>not a PCD file: unusable POINTS entry</source>
        <translation>不是 PCD 文件: POINTS 项不可用</translation>
    </message>
    <message>
        <source>not a PCD file: unexpected header line</source>
        <translation>不是 PCD 文件: 文件头中有无法识别的行</translation>
    </message>
    <message>
        <source>not a PCD file: the header lacks FIELDS, POINTS or DATA</source>
        <translation>不是 PCD 文件: 文件头缺少 FIELDS、POINTS 或 DATA</translation>
    </message>
    <message>
        <source>not a PCD file: unknown DATA kind</source>
        <translation>不是 PCD 文件: 未知的 DATA 类型</translation>
    </message>
    <message>
        <source>not a PCD file: SIZE, TYPE and COUNT do not give one entry per field</source>
        <translation>不是 PCD 文件: SIZE、TYPE 和 COUNT 没有为每个字段各给出一项</translation>
    </message>
    <message>
        <source>not a PCD file: unusable SIZE or COUNT entry</source>
        <translation>不是 PCD 文件: SIZE 或 COUNT 项不可用</translation>
    </message>
    <message>
        <source>WIDTH %1 × HEIGHT %2 does not match POINTS %3</source>
        <translation>WIDTH %1 × HEIGHT %2 与 POINTS %3 不符</translation>
    </message>
    <message>
        <source>not a PLY file</source>
        <translation>不是 PLY 文件</translation>
    </message>
    <message>
        <source>not a PLY file: the header does not end</source>
        <translation>不是 PLY 文件: 文件头没有结束</translation>
    </message>
    <message>
        <source>not a PLY file: unknown format</source>
        <translation>不是 PLY 文件: 未知的格式</translation>
    </message>
    <message>
        <source>not a PLY file: unusable vertex count</source>
        <translation>不是 PLY 文件: 顶点数不可用</translation>
    </message>
    <message>
        <source>the PLY file&apos;s vertices hold lists, which are not read</source>
        <translation>PLY 文件的顶点含有列表，无法读取</translation>
    </message>
    <message>
        <source>not a PLY file: unusable vertex property</source>
        <translation>不是 PLY 文件: 顶点属性不可用</translation>
    </message>
    <message>
        <source>not a PLY file: unexpected header line</source>
        <translation>不是 PLY 文件: 文件头中有无法识别的行</translation>
    </message>
    <message>
        <source>not a PLY file: the header lacks its format</source>
        <translation>不是 PLY 文件: 文件头缺少格式说明</translation>
    </message>
    <message>
        <source>the PLY file has no vertices</source>
        <translation>PLY 文件中没有顶点</translation>
    </message>
    <message>
        <source>the PLY file stores other elements before its vertices, which is not read</source>
        <translation>PLY 文件在顶点之前存放了其他元素，无法读取</translation>
    </message>
    <message>
        <source>the cloud has no x, y and z fields</source>
        <translation>点云没有 x、y、z 字段</translation>
    </message>
    <message>
        <source>the cloud&apos;s %1 field has an unusable type or offset</source>
        <translation>点云的 %1 字段的类型或位置不可用</translation>
    </message>
    <message>
        <source>the header announces more points than the file holds</source>
        <translation>文件头声明的点数多于文件实际包含的点数</translation>
    </message>
    <message>
        <source>the file ends before its compressed data</source>
        <translation>文件在压缩数据之前就结束了</translation>
    </message>
    <message>
        <source>the compressed data does not match the header</source>
        <translation>压缩数据与文件头不符</translation>
    </message>
    <message>
        <source>not enough memory to unpack the compressed data</source>
        <translation>内存不足，无法解压压缩数据</translation>
    </message>
    <message>
        <source>cannot read the compressed data</source>
        <translation>无法读取压缩数据</translation>
    </message>
    <message>
        <source>not enough memory to read the text</source>
        <translation>内存不足，无法读取文本</translation>
    </message>
    <message>
        <source>the file ends after %1 of the %2 points its header announces</source>
        <translation>文件头声明有 %2 个点，但文件读到第 %1 个点就结束了</translation>
    </message>
    <message>
        <source>line %1 is too long</source>
        <translation>第 %1 行过长</translation>
    </message>
    <message>
        <source>cannot read the file after byte %1</source>
        <translation>无法读取文件第 %1 字节之后的内容</translation>
    </message>
    <message>
        <source>line %1 holds %2 values separated by white space, but the header gives %3 per point</source>
        <translation>第 %1 行有 %2 个以空白分隔的值，但文件头规定每个点 %3 个</translation>
    </message>
    <message>
        <source>line %1 holds a value that is not a number</source>
        <translation>第 %1 行有一个值不是数值</translation>
    </message>
    <message>
        <source>cannot read the point data after byte %1</source>
        <translation>无法读取第 %1 字节之后的点数据</translation>
    </message>
    <message>
        <source>the compressed data ends inside a literal run</source>
        <translation>压缩数据在一段未压缩数据中间结束</translation>
    </message>
    <message>
        <source>the compressed data unpacks to more bytes than announced</source>
        <translation>压缩数据解压后的字节数多于声明的字节数</translation>
    </message>
    <message>
        <source>the compressed data ends inside a back-reference</source>
        <translation>压缩数据在一个回溯引用中间结束</translation>
    </message>
    <message>
        <source>a back-reference in the compressed data reaches before its start</source>
        <translation>压缩数据中的回溯引用指向了数据开头之前</translation>
    </message>
    <message>
        <source>the compressed data unpacks to %1 bytes, not the %2 announced</source>
        <translation>压缩数据解压后为 %1 字节，而不是声明的 %2 字节</translation>
    </message>
    <message>
        <source>cannot write %1</source>
        <translation>无法写入 %1</translation>
    </message>
    <message>
        <source>cannot rename %1 to %2: %3</source>
        <translation>无法将 %1 重命名为 %2: %3</translation>
    </message>
    <message>
        <source>cannot remove %1: %2</source>
        <translation>无法删除 %1: %2</translation>
    </message>
    <message>
        <source>cannot read %1</source>
        <translation>无法读取 %1</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>无法读取 %1: %2</translation>
    </message>
    <message>
        <source>%1 is too large to hold a coordinate system</source>
        <translation>%1 太大，不可能是坐标系文件</translation>
    </message>
    <message>
        <source>the GeoTIFF key directory has no valid header</source>
        <translation>GeoTIFF 键目录没有有效的头部</translation>
    </message>
    <message>
        <source>the GeoTIFF key directory holds fewer keys than it announces</source>
        <translation>GeoTIFF 键目录中的键少于其声明的数量</translation>
    </message>
    <message>
        <source>GeoTIFF key %1 points outside its parameters</source>
        <translation>GeoTIFF 键 %1 指向了参数范围之外</translation>
    </message>
    <message>
        <source>this build has no coordinate-system library to name it in WKT</source>
        <translation>此版本没有坐标系库，无法将其写成 WKT</translation>
    </message>
    <message>
        <source>cannot hand the GeoTIFF keys to GDAL</source>
        <translation>无法将 GeoTIFF 键交给 GDAL</translation>
    </message>
    <message>
        <source>GDAL cannot read the GeoTIFF keys</source>
        <translation>GDAL 无法读取这些 GeoTIFF 键</translation>
    </message>
    <message>
        <source>%1</source>
        <comment>GDAL&apos;s own words on GeoTIFF keys it could not read</comment>
        <translation>GDAL 无法读取这些 GeoTIFF 键: %1</translation>
    </message>
    <message>
        <source>the GeoTIFF keys name no coordinate system GDAL knows</source>
        <translation>这些 GeoTIFF 键所指的坐标系 GDAL 无法识别</translation>
    </message>
    <message>
        <source>EPSG:%1 is not a coordinate system GDAL knows</source>
        <translation>EPSG:%1 不是 GDAL 能识别的坐标系</translation>
    </message>
    <message>
        <source>the coordinate system EPSG:%1 was not kept: %2</source>
        <translation>未能保留坐标系 EPSG:%1: %2</translation>
    </message>
    <message>
        <source>the coordinate system &quot;%1&quot; was not kept: it is neither WKT nor an EPSG code</source>
        <translation>未能保留坐标系“%1”: 它既不是 WKT，也不是 EPSG 代码</translation>
    </message>
    <message>
        <source>the writer is busy; &quot;%1&quot; was not opened</source>
        <translation>写入线程正忙，未打开“%1”</translation>
    </message>
    <message>
        <source>the writer already has an output; &quot;%1&quot; was not opened</source>
        <translation>写入线程已有输出文件，未打开“%1”</translation>
    </message>
    <message>
        <source>cannot create &quot;%1&quot;: %2</source>
        <translation>无法创建“%1”: %2</translation>
    </message>
    <message>
        <source>cannot write to &quot;%1&quot;: %2</source>
        <translation>无法写入“%1”: %2</translation>
    </message>
    <message>
        <source>cannot close &quot;%1&quot;: %2</source>
        <translation>无法关闭“%1”: %2</translation>
    </message>
    <message>
        <source>no output file was opened</source>
        <translation>没有打开输出文件</translation>
    </message>
    <message>
        <source>a block of %1 points cannot be stored</source>
        <translation>无法存储含 %1 个点的数据块</translation>
    </message>
    <message>
        <source>too many blocks for one file</source>
        <translation>数据块太多，一个文件容纳不下</translation>
    </message>
    <message>
        <source>cannot open: no such file</source>
        <translation>无法打开: 文件不存在</translation>
    </message>
    <message>
        <source>cannot open: not a regular file</source>
        <translation>无法打开: 不是普通文件</translation>
    </message>
    <message>
        <source>scan %1: its pose is unusable (a zero or non-finite rotation or translation)</source>
        <translation>扫描 %1: 其位姿不可用（旋转或平移为零或不是有限数）</translation>
    </message>
    <message>
        <source>scan %1: its pose rotation was not a unit quaternion (length %2) and was normalised</source>
        <translation>扫描 %1: 其位姿的旋转不是单位四元数（长度 %2），已做归一化</translation>
    </message>
    <message>
        <source>the file holds no scan</source>
        <translation>文件中没有扫描</translation>
    </message>
    <message>
        <source>every scan is empty</source>
        <translation>所有扫描都是空的</translation>
    </message>
    <message>
        <source>%1 records marked invalid by the scanner were skipped</source>
        <translation>已跳过 %1 条被扫描仪标为无效的记录</translation>
    </message>
    <message>
        <source>%1 and %2 would both be written to %3</source>
        <translation>%1 和 %2 都会写入 %3</translation>
    </message>
    <message>
        <source>the input vanished while it was read</source>
        <translation>读取过程中输入文件消失了</translation>
    </message>
    <message>
        <source>the input was replaced while it was read</source>
        <translation>读取过程中输入文件被替换了</translation>
    </message>
    <message>
        <source>the input shrank from %1 to %2 bytes while it was read</source>
        <translation>读取过程中输入文件从 %1 字节缩小到了 %2 字节</translation>
    </message>
    <message>
        <source>read error: %1</source>
        <translation>读取错误: %1</translation>
    </message>
    <message>
        <source>the reader ended without finishing the file</source>
        <translation>读取程序未完成文件就结束了</translation>
    </message>
    <message>
        <source>the output was already begun</source>
        <translation>输出文件已经开始写入</translation>
    </message>
    <message>
        <source>cannot create a file beside %1: %2</source>
        <translation>无法在 %1 旁边创建文件: %2</translation>
    </message>
    <message>
        <source>cannot create %1</source>
        <translation>无法创建 %1</translation>
    </message>
    <message>
        <source>writing the ilas file failed</source>
        <translation>写入 ilas 文件失败</translation>
    </message>
    <message>
        <source>the block splitter ended before the input</source>
        <translation>分块线程在输入结束之前就结束了</translation>
    </message>
    <message>
        <source>the output was never begun</source>
        <translation>输出文件从未开始写入</translation>
    </message>
    <message>
        <source>removed %1 left by an earlier run that broke off</source>
        <translation>已删除之前中断的转换留下的 %1</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>文件为空</translation>
    </message>
    <message>
        <source>no line holds three numbers in its fields 3 to 5</source>
        <translation>没有一行在第 3 至 5 个字段中给出三个数</translation>
    </message>
    <message>
        <source>no line holds three numbers</source>
        <translation>没有一行给出三个数</translation>
    </message>
    <message>
        <source>the count line says %1, the file holds %2 points</source>
        <translation>点数行写的是 %1，文件实际包含 %2 个点</translation>
    </message>
    <message>
        <source>the line after the point count does not hold three numbers</source>
        <translation>点数行之后的一行没有给出三个数</translation>
    </message>
    <message>
        <source>the first line holds neither a point count nor three numbers</source>
        <translation>第一行既不是点数，也没有给出三个数</translation>
    </message>
    <message>
        <source>These files would be written to one ilas file; tick only one of them:
</source>
        <translation>以下文件会写入同一个 ilas 文件, 请只勾选其中一个:
</translation>
    </message>
</context>
</TS>
