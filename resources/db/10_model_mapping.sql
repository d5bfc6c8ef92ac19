-- Display names for the product models the drives report. IS_Varnel_Model 1
-- gives the names shown when the program runs with QxModel/Yes = 1.

INSERT INTO Model_Mapping (Model_From_Product, IS_Varnel_Model, Model_to_Display) VALUES
('HX-KRV4-0400', 0, 'KRV4-400W'),
('HX-KRV4-0400', 1, 'Varnel KRV4-400'),
('HX-KRV4-0750', 0, 'KRV4-750W'),
('HX-KRV4-0750', 1, 'Varnel KRV4-750'),
('HX-KRV4-1000', 0, 'KRV4-1000W'),
('HX-KRV4-1000', 1, 'Varnel KRV4-1000'),
('HX-KRV7-0200', 0, 'KRV7-200W'),
('HX-KRV7-0200', 1, 'Varnel KRV7-200'),
('HX-KRV7-0400', 0, 'KRV7-400W'),
('HX-KRV7-0400', 1, 'Varnel KRV7-400'),
('HX-KRV7-0750', 0, 'KRV7-750W'),
('HX-KRV7-0750', 1, 'Varnel KRV7-750');
