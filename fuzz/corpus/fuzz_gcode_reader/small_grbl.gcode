(Black and White Bitmap)
(Original File: café.bmp)
(2026-12-08 at 17:40:41)
(Pyrolith v1.3.0.4)
(Base unit: inches)
(Pixel Resolution: 0.25in)
(Using Half Pixel Height)
(Laser Off Command: M5)
(Laser On Command: M3 S1000)
(Laser Low Power Command: M3 S10)
(Laser Cut Power Command: M106 S255)
("G0" used for laser off moves)
(Laser Off Speed: 3000 in/min)
(Laser On Speed: 800 in/min)
(Laser Cut Speed: 100 in/min)
(Laser Z-Axis Speed: 200 in/min)
(Laser Trace Speed: 2000 in/min)
(Using optimization)
(Do not home Laser at beginning of job)
(Do not set Initial Height)
(Do not pause at center/center)
(Pause at front/center for 2.5 sec)
(Trace boundary)
(Bitmap image will be printed)
(Using X-offset of 10 in)
(Using Y-offset of -0.25 in)
(Not repeating image)
(Using Precision Print Mode)
(Using Fake Extrusion)
(Not using Backlash Correction)
(Perimeter cut not enabled)
(Using GRBL flavor)

M5	(Laser Off)
G90 	(Absolute Positioning)
M83 	((use relative distances for FAKE extrusion))
G20 	(Set to inches)

G0 F3000 	(Set Laser Off speed)

G0 X10.25 Y-0.25	(Goto front/center)
M3 S10	(Laser on at Low power)
G4 P2.5	(Pause for 2.5)
M5

(Begin Boundary Box)
M5		(Laser Off)
M3 S10	(Laser on at Low power)
G0 F2000 
G0 X10 Y-0.25	(Goto origin)
G0 X10.75	(Move X to 3)
G0 Y0.25	(Move Y to 2)
G0 X10		(Move X to 0)
G0 Y-0.25		(Move to origin)
M5
(End Boundary Box)

(BEGIN IMAGE)
G0 X10.5 Y-0.25 F3000 M5
G0 X10.75 Y-0.25 F800 E1 M3 S1000
G0 X10.5 Y-0.125 F3000 M5
G0 X10.75 Y-0.125 F800 E1 M3 S1000
G0 X10.25 Y0 F3000 M5
G0 X10.75 Y0 F800 E1 M3 S1000
M5
