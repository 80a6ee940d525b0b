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
</context>
</TS>
