-- Alarm texts: the name of each alarm the drives report, and for each the
-- possible causes with what to do about them, in the order an application
-- engineer would check them. Chinese is the program's own text; the *En
-- columns hold the English the English interface shows.
--
-- ErrorNumber is the alarm number text: "Err" and the code in four digits.
-- Codes 1..13 belong to the fault detections that register 56 switches on
-- and off (bit 0 over-current ... bit 12 encoder disconnection); 14..17 are
-- always detected. 17 is raised by the communication watchdog (Pr9.17 and
-- Pr9.18, registers 31007 and 31008) when it is set to raise an alarm.

CREATE TABLE ErrTable (
    ErrorNumber TEXT NOT NULL PRIMARY KEY,
    ErrorName   TEXT NOT NULL,
    ErrorNameEn TEXT NOT NULL
);

-- Several rows per alarm, one per possible cause; they are read in the
-- order they were written here.
CREATE TABLE ErrDescription (
    ErrorNumber   TEXT NOT NULL REFERENCES ErrTable (ErrorNumber),
    ErrorReason   TEXT NOT NULL,
    Dispose       TEXT NOT NULL,
    ErrorReasonEn TEXT NOT NULL,
    DisposeEn     TEXT NOT NULL
);

INSERT INTO ErrTable (ErrorNumber, ErrorName, ErrorNameEn) VALUES
('Err0001', '过流', 'Over-current'),
('Err0002', '过压', 'Over-voltage'),
('Err0003', '欠压', 'Under-voltage'),
('Err0004', 'EEPROM读写错误', 'EEPROM error'),
('Err0005', '电机缺相', 'Motor phase loss'),
('Err0006', '驱动器过热', 'Drive over-temperature'),
('Err0007', '开环堵转', 'Stall in open loop'),
('Err0008', '码盘故障', 'Encoder fault'),
('Err0009', '位置超差', 'Position following error too large'),
('Err0010', '控制电源故障', 'Control power fault'),
('Err0011', '刹车回路故障', 'Brake circuit fault'),
('Err0012', '运放故障', 'Current amplifier fault'),
('Err0013', '码盘断线', 'Encoder disconnected'),
('Err0014', '超速', 'Over-speed'),
('Err0015', '过载', 'Overload'),
('Err0016', '参数校验错误', 'Parameter checksum error'),
('Err0017', '通信超时', 'Communication time-out');

INSERT INTO ErrDescription (ErrorNumber, ErrorReason, Dispose, ErrorReasonEn, DisposeEn) VALUES
('Err0001', '电机动力线U、V、W之间短路或对地短路', '断电后用万用表检查电机线间及对地绝缘，排除短路后再上电',
            'Short circuit between the motor leads U, V, W or to earth', 'Power off and check the motor leads and their insulation to earth with a meter; power on again only after the short is removed'),
('Err0001', '电流环增益设定过大，电流振荡', '减小电流环比例增益和积分增益，或运行电流环自整定',
            'Current-loop gain set too high, the current oscillates', 'Lower the current-loop proportional and integral gains, or run the current-loop auto-tuning'),
('Err0001', '驱动器功率器件损坏', '断开电机线后上电仍报警，请联系供应商维修',
            'Power stage of the drive damaged', 'If the alarm remains with the motor leads disconnected, return the drive for repair'),
('Err0002', '供电电压高于允许范围', '测量主电源电压，使其在驱动器铭牌允许范围内',
            'Supply voltage above the permitted range', 'Measure the main supply and bring it within the range on the drive''s rating plate'),
('Err0002', '减速过快或负载惯量过大，电机回馈能量过多', '延长减速时间，或外接制动电阻',
            'Deceleration too fast or load inertia too large: the motor feeds back too much energy', 'Lengthen the deceleration time or fit an external braking resistor'),
('Err0002', '制动电阻未接或损坏', '检查制动电阻接线与阻值',
            'Braking resistor not connected or damaged', 'Check the braking resistor''s wiring and resistance'),
('Err0003', '供电电压低于允许范围或电源容量不足', '测量主电源电压，检查电源容量是否满足电机功率',
            'Supply voltage below the permitted range, or the supply too weak', 'Measure the main supply and check that its rating suits the motor power'),
('Err0003', '电源线接触不良或线径过细', '检查电源端子是否拧紧，必要时更换更粗的电源线',
            'Loose supply terminals or supply cable too thin', 'Tighten the supply terminals; use a heavier cable if needed'),
('Err0003', '加速时电源电压瞬间跌落', '延长加速时间或加大电源容量',
            'Supply voltage dips while accelerating', 'Lengthen the acceleration time or use a stronger supply'),
('Err0004', '参数存储器读写失败', '重新上电；若仍报警，恢复出厂参数后重新设定并保存',
            'Parameter memory could not be read or written', 'Switch the drive off and on; if the alarm remains, restore the factory parameters, set them again and save'),
('Err0004', '保存参数过程中断电', '重新设定参数并保存，保存完成前不要断电',
            'Power lost while parameters were being saved', 'Set the parameters again and save them; keep the power on until saving ends'),
('Err0005', '电机线未接好或断线', '检查电机动力线U、V、W接线及插头',
            'Motor lead not connected or broken', 'Check the motor leads U, V, W and their connector'),
('Err0005', '电机绕组断路', '测量电机各相绕组电阻，绕组损坏请更换电机',
            'Open motor winding', 'Measure the resistance of each motor phase; replace the motor if a winding is open'),
('Err0006', '驱动器散热不良，环境温度过高', '改善柜内通风，保证驱动器周围留有散热空间',
            'Poor cooling or ambient temperature too high', 'Improve the ventilation of the cabinet and leave room around the drive'),
('Err0006', '长时间超过额定电流运行', '降低负载或选用功率更大的驱动器',
            'Running above the rated current for a long time', 'Reduce the load or use a larger drive'),
('Err0006', '散热风扇停转', '检查风扇是否被堵塞或损坏',
            'Cooling fan stopped', 'Check the fan for blockage or damage'),
('Err0007', '负载过大或机械卡死，电机堵转', '检查机械是否卡死，减小负载或加大电机峰值电流',
            'Load too heavy or mechanism jammed: the motor stalls', 'Check the mechanism for jamming; reduce the load or raise the motor peak current'),
('Err0007', '加速过快，电机失步', '延长加速时间或降低起始速度',
            'Acceleration too fast, the motor loses step', 'Lengthen the acceleration time or lower the start speed'),
('Err0008', '码盘信号受干扰', '码盘线使用屏蔽线并与动力线分开走线，屏蔽层单端接地',
            'Interference on the encoder signals', 'Use a shielded encoder cable, run it apart from the power leads and earth the shield at one end'),
('Err0008', '码盘线数设定与电机不符', '按电机铭牌设定码盘线数',
            'Encoder resolution setting does not match the motor', 'Set the encoder resolution from the motor''s rating plate'),
('Err0008', '码盘损坏', '更换电机或码盘',
            'Encoder damaged', 'Replace the motor or its encoder'),
('Err0009', '负载过大或加减速过快，电机跟不上指令', '减小负载，延长加减速时间',
            'Load too heavy or acceleration too fast: the motor cannot follow the command', 'Reduce the load and lengthen the acceleration and deceleration times'),
('Err0009', '位置超差阈值设定过小', '适当加大位置超差阈值',
            'Following-error limit set too small', 'Raise the following-error limit to suit the machine'),
('Err0009', '位置环或速度环增益过低', '加大位置环与速度环增益',
            'Position-loop or speed-loop gain too low', 'Raise the position-loop and speed-loop gains'),
('Err0009', '码盘接线错误，相序不对', '检查码盘A、B相接线',
            'Encoder wired wrongly, phase order reversed', 'Check the wiring of the encoder channels A and B'),
('Err0010', '控制电源电压过低或不稳', '检查控制电源电压及接线',
            'Control supply voltage too low or unstable', 'Check the control supply voltage and its wiring'),
('Err0010', '驱动器内部电源故障', '更换驱动器或联系供应商维修',
            'Internal power supply of the drive failed', 'Replace the drive or return it for repair'),
('Err0011', '刹车线圈未接或断线', '检查刹车线圈接线及线圈电阻',
            'Brake coil not connected or broken', 'Check the brake coil''s wiring and resistance'),
('Err0011', '刹车输出短路或过载', '检查刹车输出回路，线圈电流不得超过输出允许值',
            'Brake output short-circuited or overloaded', 'Check the brake output circuit; the coil current must stay within the output rating'),
('Err0012', '电流检测回路异常', '重新上电；若仍报警，请联系供应商维修',
            'Current measurement circuit faulty', 'Switch the drive off and on; if the alarm remains, return the drive for repair'),
('Err0012', '强电干扰', '检查接地，动力线与信号线分开走线',
            'Strong electrical interference', 'Check the earthing and run the power leads apart from the signal cables'),
('Err0013', '码盘线未接或断线', '检查码盘线及插头是否松动',
            'Encoder cable not connected or broken', 'Check the encoder cable and its connector for a loose contact'),
('Err0013', '码盘电源异常', '测量码盘供电电压是否为5V',
            'Encoder supply faulty', 'Check that the encoder is supplied with 5 V'),
('Err0014', '指令速度过高', '降低指令脉冲频率或检查电子齿轮比',
            'Commanded speed too high', 'Lower the command pulse frequency or check the electronic gear ratio'),
('Err0014', '速度环增益过大，速度超调', '减小速度环增益',
            'Speed-loop gain too high, the speed overshoots', 'Lower the speed-loop gain'),
('Err0014', '电机相序接错', '检查电机U、V、W接线顺序',
            'Motor phases connected in the wrong order', 'Check the order of the motor leads U, V, W'),
('Err0015', '负载转矩长时间超过额定值', '减小负载或选用更大功率的电机和驱动器',
            'Load torque above the rating for a long time', 'Reduce the load or use a larger motor and drive'),
('Err0015', '机械传动阻力过大', '检查导轨、丝杠润滑及机械装配',
            'Too much friction in the transmission', 'Check the lubrication of guides and screws and the mechanical assembly'),
('Err0015', '刹车未打开', '检查刹车是否正常释放',
            'Brake not released', 'Check that the brake releases'),
('Err0016', '存储的参数校验和错误', '恢复出厂参数后重新设定并保存',
            'Checksum of the stored parameters wrong', 'Restore the factory parameters, set them again and save'),
('Err0016', '驱动器软件升级后参数表不兼容', '恢复出厂参数后重新设定并保存',
            'Parameter table incompatible after a firmware update', 'Restore the factory parameters, set them again and save'),
('Err0017', '上位机与驱动器之间的通信中断时间超过了通信超时检测时间(Pr9.17)', '检查通信线缆、接头与上位机程序；不需要通信监视时把Pr9.17设为0',
            'The master sent nothing for longer than the communication time-out (Pr9.17)', 'Check the cable, the connectors and the master program; set Pr9.17 to 0 where no watch is wanted'),
('Err0017', '上位机程序异常退出或电脑进入休眠', '重新连接驱动器，清除报警后再运行',
            'The master program ended abnormally or the PC went to sleep', 'Reconnect the drive and clear the alarm before running again');
